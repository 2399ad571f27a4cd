#include "repository/example.h"

#include <testprojects.h>
#include <testsupport.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>

using namespace Vantor::Internal;
using TestProjects::png;

namespace {

// A valid project with `key` set to `value`, or removed when it is undefined.
QJsonObject project(const QString &key = {}, const QJsonValue &value = QJsonValue::Undefined)
{
    QJsonObject json = TestSupport::projectJson("hello");
    if (!key.isEmpty())
        json.insert(key, value);
    return json;
}

} // namespace

class tst_Example : public QObject
{
    Q_OBJECT

private slots:
    void validity_data()
    {
        QTest::addColumn<QJsonObject>("json");
        QTest::addColumn<bool>("valid");

        QTest::newRow("complete") << project() << true;
        QTest::newRow("empty name") << project("name", "") << false;
        QTest::newRow("no web_url") << project("web_url") << false;
        QTest::newRow("path with space and dots") << project("path", "..hello world..") << true;
        QTest::newRow("no path") << project("path") << false;
        QTest::newRow("id 2^53 - 1") << project("id", 9007199254740991.0) << true;
        QTest::newRow("id 2^53") << project("id", 9007199254740992.0) << false; // may be 2^53 + 1 rounded
        QTest::newRow("id 1000.5") << project("id", 1000.5) << false;
        QTest::newRow("id 0") << project("id", 0) << false;
        QTest::newRow("id negative") << project("id", -78) << false;
        QTest::newRow("id digits in a string") << project("id", "42") << false;
        // Each would be a wrong folder name or deletion pattern.
        for (const char *unsafe : {".", "..", "../etc", "a\\b", "a|b", "*", "a?", "[ab", "ab]", "a\nb", "a\tb", "a\x7f"}) {
            QTest::addRow("path %s", QByteArray(unsafe).toPercentEncoding("./*?[]|").constData())
                << project("path", unsafe) << false;
        }
    }

    void validity()
    {
        QFETCH(QJsonObject, json);
        QFETCH(bool, valid);
        const Example example(json);
        QCOMPARE(example.isValid(), valid);
        if (valid)
            QCOMPARE(example.id(), qint64(json.value("id").toDouble()));
    }

    // GitLab renamed "tag_list" to "topics".
    void tags_data()
    {
        QTest::addColumn<QJsonObject>("json");
        QTest::addColumn<QStringList>("tags");

        const QJsonArray qml{"qml"};
        const QJsonArray widgets{"widgets", "c++"};
        QJsonObject both = project("topics", qml);
        both.insert("tag_list", widgets);
        QTest::newRow("topics") << project("topics", qml) << QStringList{"qml"};
        QTest::newRow("tag_list") << project("tag_list", widgets) << QStringList{"widgets", "c++"};
        QTest::newRow("both: topics") << both << QStringList{"qml"};
        QTest::newRow("neither: the default") << project() << QStringList{"Qt", "example"};
    }

    void tags()
    {
        QFETCH(QJsonObject, json);
        QFETCH(QStringList, tags);
        QCOMPARE(Example(json).tags(), tags);
    }

    void image()
    {
        Example example(project());
        QVERIFY(example.image().isNull());
        example.setImage(png({4096, 64})); // the widest taken
        QCOMPARE(example.image().size(), QSize(128, 2));
        example.setImage(png({32, 32}));
        const QImage image = example.image();
        QCOMPARE(image.size(), QSize(128, 128));
        QCOMPARE(image.pixelColor(64, 64), QColor(Qt::darkCyan));
        QCOMPARE(image.text("Description"),
                 QString("This file is used by SDK to show image for example inside Welcome screen.\n"
                         "It is not the part of the example."));
        // A small download that would decode into gigabytes is refused by its header; a failed picture
        // replaces an earlier one.
        for (const QByteArray &data : {png({4097, 64}), png({64, 4097}), QByteArray("<html>not found</html>")}) {
            example.setImage(data);
            QVERIFY(example.image().isNull());
        }
    }
};

QTEST_GUILESS_MAIN(tst_Example)

#include "tst_example.moc"
