#pragma once

#include "plugin/settings.h"

#include <coreplugin/dialogs/ioptionspage.h>

#include <QHash>
#include <QMultiHash>

namespace Vantor {
namespace Internal {

namespace Ui {
class OptionsWidget;
} // namespace Ui

// The options page's widget: the repositories, the examples installed from the selected one,
// "Add...", "Remove" and the update interval. Nothing is installed, deleted or saved before apply().
class OptionsWidget : public Core::IOptionsPageWidget
{
    Q_OBJECT

public:
    OptionsWidget();
    ~OptionsWidget() override;

    void apply() override;

public slots:
    void scanInstalledExamples();
    void showExamples(const QString &name);

private:
    void filterExamples(const QString &text);
    void addExamples();
    void removeExamples();
    void cancelOut(const QString &repositoryName);

    Ui::OptionsWidget *m_ui = nullptr;
    Settings m_settings;
    // Per repository, the folders of the items that "Remove" took out of the list, by item text:
    // apply deletes these, not whatever folder happens to carry the item's name.
    QHash<QString, QMultiHash<QString, QString>> m_foldersToRemove;
};

} // namespace Internal
} // namespace Vantor
