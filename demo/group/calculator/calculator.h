#pragma once

#include <QWidget>

class QLineEdit;

// A four-function calculator: digits and operators build an expression that "=" evaluates
// from left to right.
class Calculator : public QWidget
{
    Q_OBJECT

public:
    explicit Calculator(QWidget *parent = nullptr);

private:
    void digit(const QString &text);
    void operation(const QString &op);
    void equals();
    void clear();

    QLineEdit *m_display = nullptr;
    double m_accumulator = 0;
    QString m_pending;
    bool m_fresh = true;
};
