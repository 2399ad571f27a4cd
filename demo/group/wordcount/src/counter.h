#pragma once

#include <QMap>
#include <QString>

class QTextStream;

// Counts lines, words and characters of a text, and how often each word occurs.
struct Counter
{
    qint64 lines = 0;
    qint64 words = 0;
    qint64 characters = 0;
    QMap<QString, int> frequencies;

    void read(QTextStream &in);
};
