#pragma once

#include <coreplugin/dialogs/ioptionspage.h>

#include <functional>

namespace Vantor {
namespace Internal {

class OptionsWidget;

// The plugin's page in the Help category of the host's options dialog.
class OptionsPage : public Core::IOptionsPage
{
    Q_OBJECT

public:
    OptionsPage(const QString &displayName, Utils::Id id,
                const std::function<OptionsWidget *()> &widgetCreator, QObject *parent = nullptr);
    ~OptionsPage() override;
};

} // namespace Internal
} // namespace Vantor
