#include "calculator.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

Calculator::Calculator(QWidget *parent)
    : QWidget(parent)
{
    setWindowTitle(tr("Calculator"));
    m_display = new QLineEdit(QStringLiteral("0"));
    m_display->setReadOnly(true);
    m_display->setAlignment(Qt::AlignRight);

    auto grid = new QGridLayout(this);
    grid->addWidget(m_display, 0, 0, 1, 4);
    const QStringList keys = {"7", "8", "9", "/", "4", "5", "6", "*",
                              "1", "2", "3", "-", "0", "C", "=", "+"};
    for (int i = 0; i < keys.size(); ++i) {
        const QString key = keys.at(i);
        auto button = new QPushButton(key);
        grid->addWidget(button, 1 + i / 4, i % 4);
        connect(button, &QPushButton::clicked, this, [this, key] {
            if (key.at(0).isDigit())
                digit(key);
            else if (key == QLatin1String("C"))
                clear();
            else if (key == QLatin1String("="))
                equals();
            else
                operation(key);
        });
    }
}

void Calculator::digit(const QString &text)
{
    if (m_fresh || m_display->text() == QLatin1String("0"))
        m_display->setText(text);
    else
        m_display->setText(m_display->text() + text);
    m_fresh = false;
}

void Calculator::operation(const QString &op)
{
    equals();
    m_pending = op;
}

void Calculator::equals()
{
    const double value = m_display->text().toDouble();
    if (m_pending == QLatin1String("+"))
        m_accumulator += value;
    else if (m_pending == QLatin1String("-"))
        m_accumulator -= value;
    else if (m_pending == QLatin1String("*"))
        m_accumulator *= value;
    else if (m_pending == QLatin1String("/"))
        m_accumulator = value != 0 ? m_accumulator / value : 0;
    else
        m_accumulator = value;
    m_pending.clear();
    m_display->setText(QString::number(m_accumulator));
    m_fresh = true;
}

void Calculator::clear()
{
    m_accumulator = 0;
    m_pending.clear();
    m_display->setText(QStringLiteral("0"));
    m_fresh = true;
}
