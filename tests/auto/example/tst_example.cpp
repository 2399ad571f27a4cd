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
    void validity_data();
    void validity();
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
    QTest::newRow("id written as a fraction") << project("id", 1000.0) << true;
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

void tst_Example::validity()
{
    QFETCH(QJsonObject, json);
    QFETCH(bool, valid);
    const Example example(json);
    QCOMPARE(example.isValid(), valid);
    QCOMPARE(example.json(), json);
    if (valid)
        QCOMPARE(example.id(), qint64(json.value("id").toDouble()));
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
