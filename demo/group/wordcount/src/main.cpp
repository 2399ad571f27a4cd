#include "counter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <algorithm>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Counts the words of text files."));
    parser.addHelpOption();
    const QCommandLineOption top(QStringList{"t", "top"},
                                 QStringLiteral("Show the most frequent words."),
                                 QStringLiteral("n"), QStringLiteral("5"));
    parser.addOption(top);
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("Files to read; "
                                                                         "standard input when none."));
    parser.process(app);

    Counter counter;
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty()) {
        QTextStream in(stdin);
        counter.read(in);
    }
    for (const QString &name : files) {
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            qWarning("Cannot read %s", qPrintable(name));
            return 1;
        }
        QTextStream in(&file);
        counter.read(in);
    }

    QTextStream out(stdout);
    out << counter.lines << " lines, " << counter.words << " words, "
        << counter.characters << " characters\n";

    QVector<QPair<int, QString>> ranking;
    for (auto it = counter.frequencies.cbegin(); it != counter.frequencies.cend(); ++it)
        ranking.append({it.value(), it.key()});
    std::sort(ranking.begin(), ranking.end(), [](const auto &a, const auto &b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    const int shown = std::min<int>(parser.value(top).toInt(), ranking.size());
    for (int i = 0; i < shown; ++i)
        out << ranking.at(i).second << '\t' << ranking.at(i).first << '\n';
    return 0;
}
