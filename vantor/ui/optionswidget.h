#pragma once

#include <coreplugin/dialogs/ioptionspage.h>

#include <QHash>
#include <QSet>

QT_BEGIN_NAMESPACE
class QListWidgetItem;
QT_END_NAMESPACE

namespace Vantor {
namespace Internal {

class DownloadService;
class TokenField;
struct ExampleState;

namespace Ui {
class OptionsWidget;
} // namespace Ui

// The options page's widget: a view of the engine's repositories and examples. "Add..." and
// "Remove" record the user's intent; apply() hands it to the engine and starts afresh.
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
    void updateItem(const QString &repositoryName, const QString &path);
    void decorate(QListWidgetItem *item, const ExampleState &state) const;
    void filterExamples(const QString &text);
    bool isFilteredOut(const QString &text) const;
    void addExamples();
    void removeExamples();
    QString currentRepository() const;
    void updateChecks();

    Ui::OptionsWidget *m_ui = nullptr;
    DownloadService *m_service = nullptr;
    TokenField *m_tokenField = nullptr;
    // Per repository, what the user chose and has not applied yet.
    QHash<QString, QSet<QString>> m_toInstall;
    QHash<QString, QSet<QString>> m_toRemove;
};

} // namespace Internal
} // namespace Vantor
