#include "counter.h"

#include <QRegularExpression>
#include <QTextStream>

void Counter::read(QTextStream &in)
{
    static const QRegularExpression separator(QStringLiteral("[^\\w']+"));
    QString line;
    while (in.readLineInto(&line)) {
        ++lines;
        characters += line.size() + 1;
        const QStringList found = line.toLower().split(separator, Qt::SkipEmptyParts);
        words += found.size();
        for (const QString &word : found)
            ++frequencies[word];
    }
}
