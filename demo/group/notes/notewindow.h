#pragma once

#include <QMainWindow>

class QPlainTextEdit;

// A single note that is kept between runs in the application's data folder.
class NoteWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit NoteWindow(QWidget *parent = nullptr);
    ~NoteWindow() override;

private:
    QString notePath() const;
    void load();
    void save();

    QPlainTextEdit *m_editor = nullptr;
};
