#include "notewindow.h"

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTimer>

NoteWindow::NoteWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(tr("Notes"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/128x128/notes.png")));
    m_editor = new QPlainTextEdit;
    m_editor->setPlaceholderText(tr("Write something..."));
    setCentralWidget(m_editor);
    load();

    // Saves a moment after the last keystroke rather than on every one.
    auto timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setInterval(800);
    connect(timer, &QTimer::timeout, this, &NoteWindow::save);
    connect(m_editor, &QPlainTextEdit::textChanged, timer, qOverload<>(&QTimer::start));
}

NoteWindow::~NoteWindow()
{
    save();
}

QString NoteWindow::notePath() const
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(folder);
    return folder + QStringLiteral("/note.txt");
}

void NoteWindow::load()
{
    QFile file(notePath());
    if (file.open(QIODevice::ReadOnly | QIODevice::Text))
        m_editor->setPlainText(QString::fromUtf8(file.readAll()));
}

void NoteWindow::save()
{
    QFile file(notePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        statusBar()->showMessage(tr("Cannot save the note"), 3000);
        return;
    }
    file.write(m_editor->toPlainText().toUtf8());
}
