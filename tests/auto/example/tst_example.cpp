#include "repository/example.h"

#include <testprojects.h>
#include <testsupport.h>

#include <QJsonArray>
#include <QJsonDocument>
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
    void validity_data();
    void validity();
    void ids_data();
    void ids();
    void fields();
    void image_data();
    void image();
};

void tst_Example::validity_data()
{
    QTest::addColumn<QJsonObject>("json");
    QTest::addColumn<bool>("valid");

    QTest::newRow("complete") << project() << true;
    QTest::newRow("empty name") << project("name", "") << false;
    QTest::newRow("no web_url") << project("web_url") << false;
    QTest::newRow("path with space and dots") << project("path", "..hello world..") << true;
    QTest::newRow("no path") << project("path") << false;
    // Each would be a wrong folder name or deletion pattern.
    for (const char *unsafe : {".", "..", "../etc", "a\\b", "a|b", "*", "a?", "[ab", "ab]", "a\nb", "a\tb", "a\x7f"}) {
        QTest::addRow("path %s", QByteArray(unsafe).toPercentEncoding("./*?[]|").constData())
            << project("path", unsafe) << false;
    }
}

void tst_Example::validity()
{
    QFETCH(QJsonObject, json);
    QFETCH(bool, valid);
    const Example example(json);
    QCOMPARE(example.isValid(), valid);
    QCOMPARE(example.json(), json);
}

void tst_Example::ids_data()
{
    QTest::addColumn<QByteArray>("id"); // as the server writes it
    QTest::addColumn<qint64>("expected");

    QTest::newRow("1") << QByteArray("1") << qint64(1);
    QTest::newRow("written as a fraction") << QByteArray("1000.0") << qint64(1000);
    QTest::newRow("2^53 - 1") << QByteArray("9007199254740991") << (qint64(1) << 53) - 1;
    QTest::newRow("2^53") << QByteArray("9007199254740992") << qint64(0); // may be 2^53 + 1 rounded
    QTest::newRow("1000.5") << QByteArray("1000.5") << qint64(0);
    QTest::newRow("0") << QByteArray("0") << qint64(0);
    QTest::newRow("negative") << QByteArray("-78") << qint64(0);
    QTest::newRow("digits in a string") << QByteArray("\"42\"") << qint64(0);
}

void tst_Example::ids()
{
    QFETCH(QByteArray, id);
    QFETCH(qint64, expected);
    const QJsonValue value = QJsonDocument::fromJson(R"({"id":)" + id + "}").object().value("id");
    QCOMPARE(Example::toId(value), expected);
    QCOMPARE(Example(project("id", value)).isValid(), expected != 0);
}

void tst_Example::fields()
{
    QCOMPARE(Example(project()).tags(), QStringList({"Qt", "example"}));
    const QStringList tags{"sensors", "qml", "audio"};
    QCOMPARE(Example(project("tag_list", QJsonArray::fromStringList(tags))).tags(), tags);

    const QDateTime time(QDate(2024, 3, 5), QTime(10, 20, 30, 123), Qt::UTC);
    QCOMPARE(Example(project("last_activity_at", "2024-03-05T10:20:30.123Z")).lastActivity(), time);
    QVERIFY(!Example(project("last_activity_at", "5 March 2024")).lastActivity().isValid());
}

void tst_Example::image_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QSize>("size");

    QTest::newRow("enlarged") << png({32, 32}) << QSize(128, 128);
    QTest::newRow("wide") << png({256, 128}) << QSize(128, 64);
    // A small download that would decode into gigabytes: refused by its header.
    QTest::newRow("wider than 4096") << png({4097, 64}) << QSize(0, 0);
    QTest::newRow("not a picture") << QByteArray("<html>not found</html>") << QSize(0, 0);
}

void tst_Example::image()
{
    QFETCH(QByteArray, data);
    QFETCH(QSize, size);
    Example example(project());
    QVERIFY(example.image().isNull());
    example.setImage(png({8, 8}));
    example.setImage(data); // a failed picture replaces an earlier one
    const QImage image = example.image();
    QCOMPARE(image.size(), size);
    if (image.isNull())
        return;
    QCOMPARE(image.pixelColor(size.width() / 2, size.height() / 2), QColor(Qt::darkCyan));
    QCOMPARE(image.text("Description"),
             QString("This file is used by SDK to show image for example inside Welcome screen.\n"
                     "It is not the part of the example."));
}

QTEST_GUILESS_MAIN(tst_Example)

#include "tst_example.moc"
