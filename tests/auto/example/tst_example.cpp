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
    void tags_data();
    void tags();
    void lastActivity_data();
    void lastActivity();
    void image_data();
    void image();
    void archive();
};

void tst_Example::validity_data()
{
    QTest::addColumn<QJsonObject>("json");
    QTest::addColumn<bool>("valid");

    QTest::newRow("complete") << project() << true;
    QTest::newRow("no id") << project("id") << false;
    QTest::newRow("id 0") << project("id", 0) << false;
    QTest::newRow("id as digits") << project("id", "42") << false;
    QTest::newRow("no name") << project("name") << false;
    QTest::newRow("empty name") << project("name", "") << false;
    QTest::newRow("no web_url") << project("web_url") << false;
    QTest::newRow("empty web_url") << project("web_url", "") << false;
    QTest::newRow("path with space") << project("path", "hello world") << true;
    QTest::newRow("path with dots") << project("path", "..hello..") << true;
    QTest::newRow("no path") << project("path") << false;
    QTest::newRow("empty path") << project("path", "") << false;
    // Each would be a wrong folder name or deletion pattern.
    for (const char *unsafe : {".", "..", "../etc", "a\\b", "a|b", "*", "a?", "[ab", "ab]", "a\nb", "a\tb", "a\x7f"}) {
        QTest::addRow("path %s", QByteArray(unsafe).toPercentEncoding("./*?[]|").constData())
            << project("path", unsafe) << false;
    }
    QTest::newRow("path not a string") << project("path", 7) << false;
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
    QTest::newRow("2^53 + 1") << QByteArray("9007199254740993") << qint64(0);
    QTest::newRow("2^63") << QByteArray("9223372036854775808") << qint64(0);
    QTest::newRow("1e30") << QByteArray("1e30") << qint64(0);
    QTest::newRow("1000.5") << QByteArray("1000.5") << qint64(0);
    QTest::newRow("0.5") << QByteArray("0.5") << qint64(0);
    QTest::newRow("0") << QByteArray("0") << qint64(0);
    QTest::newRow("negative") << QByteArray("-78") << qint64(0);
    QTest::newRow("digits in a string") << QByteArray("\"42\"") << qint64(0);
    QTest::newRow("null") << QByteArray("null") << qint64(0);
}

void tst_Example::ids()
{
    QFETCH(QByteArray, id);
    QFETCH(qint64, expected);
    const QJsonDocument document = QJsonDocument::fromJson(R"({"id":)" + id + "}");
    QVERIFY(document.isObject());
    QCOMPARE(Example::toId(document.object().value("id")), expected);
    QJsonObject json = project();
    json.insert("id", document.object().value("id"));
    QCOMPARE(Example(json).isValid(), expected != 0);
}

void tst_Example::tags_data()
{
    QTest::addColumn<QJsonValue>("tagList");
    QTest::addColumn<QStringList>("tags");

    const QStringList fallback{"Qt", "example"};
    QTest::newRow("missing") << QJsonValue(QJsonValue::Undefined) << fallback;
    QTest::newRow("empty") << QJsonValue(QJsonArray()) << fallback;
    QTest::newRow("not an array") << QJsonValue("qml") << fallback;
    QTest::newRow("in order") << QJsonValue(QJsonArray{"sensors", "qml", "audio"})
                              << QStringList{"sensors", "qml", "audio"};
}

void tst_Example::tags()
{
    QFETCH(QJsonValue, tagList);
    QFETCH(QStringList, tags);
    QCOMPARE(Example(project("tag_list", tagList)).tags(), tags);
}

void tst_Example::lastActivity_data()
{
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<QDateTime>("expected");

    const QDate day(2024, 3, 5);
    QTest::newRow("server") << QJsonValue("2024-03-05T10:20:30.123Z") << QDateTime(day, {10, 20, 30, 123}, Qt::UTC);
    QTest::newRow("offset") << QJsonValue("2024-03-05T12:20:30+02:00") << QDateTime(day, {10, 20, 30}, Qt::UTC);
    QTest::newRow("missing") << QJsonValue(QJsonValue::Undefined) << QDateTime();
    QTest::newRow("malformed") << QJsonValue("5 March 2024") << QDateTime();
    QTest::newRow("number") << QJsonValue(1709634030) << QDateTime();
}

void tst_Example::lastActivity()
{
    QFETCH(QJsonValue, value);
    QFETCH(QDateTime, expected);
    // Invalid ones are equal.
    QCOMPARE(Example(project("last_activity_at", value)).lastActivity().toUTC(), expected);
}

void tst_Example::image_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QSize>("size");

    QTest::newRow("enlarged") << png({32, 32}) << QSize(128, 128);
    QTest::newRow("wide") << png({256, 128}) << QSize(128, 64);
    QTest::newRow("tall") << png({10, 40}) << QSize(32, 128);
    // A small download that would decode into gigabytes: refused by its header.
    QTest::newRow("wider than 4096") << png({4097, 64}) << QSize(0, 0);
    QTest::newRow("not a picture") << QByteArray("<html>not found</html>") << QSize(0, 0);
    QTest::newRow("empty") << QByteArray() << QSize(0, 0);
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

void tst_Example::archive()
{
    Example example(project());
    QVERIFY(example.archive().isEmpty());
    // Writers and readers in several threads at once only ever see whole archives.
    const QByteArray first(4096, 'a');
    const QByteArray second(8192, 'b');
    QAtomicInt torn;
    QThreadPool pool;
    for (int i = 0; i < 4; ++i) {
        pool.start([&example, &first, &second, &torn, i] {
            for (int n = 0; n < 200; ++n) {
                example.setArchive(i % 2 ? first : second);
                const QByteArray seen = example.archive();
                if (seen != first && seen != second)
                    torn.ref();
            }
        });
    }
    pool.waitForDone();
    QCOMPARE(torn.loadRelaxed(), 0);
    QVERIFY(example.archive() == first || example.archive() == second);
}

QTEST_GUILESS_MAIN(tst_Example)

#include "tst_example.moc"
