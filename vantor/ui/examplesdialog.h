#pragma once

#include "repository/repository.h"

#include <QDialog>
#include <QHash>
#include <QSet>
#include <QString>

namespace Vantor {
namespace Internal {

namespace Ui {
class ExamplesDialog;
} // namespace Ui

// Lets the user choose, from a repository's online examples, the ones to install. It only
// chooses: the options widget installs.
class ExamplesDialog : public QDialog
{
    Q_OBJECT

public:
    ExamplesDialog(const Repository::Examples &examples, QWidget *parent = nullptr);
    ~ExamplesDialog() override;

    // Marks the examples installed in these folders, by path, and shows their pictures.
    void setInstalled(const QHash<QString, QString> &folders);

    // Shows the picture of the example of that path once its record has one.
    void showPicture(const QString &path);

    // The paths selected when the dialog was accepted; empty otherwise.
    QSet<QString> selectedExamples() const { return m_selectedExamples; }

public slots:
    void accept() override;

private:
    void filterExamples(const QString &text);

    Ui::ExamplesDialog *m_ui = nullptr;
    Repository::Examples m_examples;
    QSet<QString> m_selectedExamples;
};

} // namespace Internal
} // namespace Vantor
