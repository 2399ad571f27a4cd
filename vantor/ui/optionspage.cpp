#include "optionspage.h"

#include "optionswidget.h"

namespace Vantor {
namespace Internal {

OptionsPage::OptionsPage(const QString &displayName, Utils::Id id,
                         const std::function<OptionsWidget *()> &widgetCreator, QObject *parent)
    : Core::IOptionsPage(parent, true)
{
    setId(id);
    setDisplayName(displayName);
    // The Help plugin owns the category and gives it its name and icon.
    setCategory(Utils::Id("H.Help"));
    setWidgetCreator([widgetCreator]() -> Core::IOptionsPageWidget * { return widgetCreator(); });
}

OptionsPage::~OptionsPage() = default;

} // namespace Internal
} // namespace Vantor
