#include "testprojects.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>

#include <sys/time.h>

namespace TestProjects {

bool writeFile(const QString &folder, const QString &relativePath, const QByteArray &content)
{
    const QString fileName = QDir(folder).filePath(relativePath);
    if (!QDir().mkpath(QFileInfo(fileName).absolutePath()))
        return false;
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

bool writeFiles(const QString &folder, const Files &files, const QDateTime &firstTime)
{
    QDateTime time = firstTime;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (!writeFile(folder, it.key(), it.value())
            || (time.isValid() && !setModified(QDir(folder).filePath(it.key()), time)))
            return false;
        time = time.addSecs(10);
    }
    return true;
}

QByteArray readFile(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool setModified(const QString &path, const QDateTime &time)
{
    // QFile cannot set the time of a folder.
    const qint64 ms = time.toMSecsSinceEpoch();
    const timeval times[2] = {{time_t(ms / 1000), suseconds_t(ms % 1000 * 1000)},
                              {time_t(ms / 1000), suseconds_t(ms % 1000 * 1000)}};
    return ::utimes(QFile::encodeName(path).constData(), times) == 0;
}

static QByteArray mainCpp(const QString &name)
{
    return "#include <QGuiApplication>\n#include <QQmlApplicationEngine>\n\n"
           "// " + name.toUtf8() + "\n"
           "int main(int argc, char *argv[])\n{\n"
           "    QGuiApplication app(argc, argv);\n"
           "    QQmlApplicationEngine engine(QUrl(QStringLiteral(\"qrc:/main.qml\")));\n"
           "    return app.exec();\n}\n";
}

bool writeQmakeProject(const QString &folder, const QString &name)
{
    const QByteArray target = name.toUtf8();
    return writeFile(folder, name + QStringLiteral(".pro"),
                     "TEMPLATE = app\nTARGET = " + target + "\nQT += quick\nSOURCES += main.cpp\n")
           && writeFile(folder, QStringLiteral("main.cpp"), mainCpp(name));
}

bool writeCMakeProject(const QString &folder, const QString &name)
{
    const QByteArray target = name.toUtf8();
    return writeFile(folder, QStringLiteral("CMakeLists.txt"),
                     "cmake_minimum_required(VERSION 3.16)\nproject(" + target + " LANGUAGES CXX)\n"
                     "find_package(Qt5 REQUIRED COMPONENTS Quick)\n"
                     "add_executable(" + target + " main.cpp)\n"
                     "target_link_libraries(" + target + " PRIVATE Qt5::Quick)\n")
           && writeFile(folder, QStringLiteral("main.cpp"), mainCpp(name))
           && writeFile(folder, QStringLiteral("qml/main.qml"),
                        "import QtQuick 2.0\n\nRectangle { width: 360; height: 640 }\n");
}

static QImage image(const QSize &size, const QColor &color, bool noise)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(color);
    for (int y = 0; noise && y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, QRandomGenerator::global()->generate() | 0xff000000u);
    }
    return image;
}

bool writePng(const QString &fileName, const QSize &size, const QColor &color)
{
    return QDir().mkpath(QFileInfo(fileName).absolutePath())
           && image(size, color, false).save(fileName, "PNG");
}

QByteArray png(const QSize &size, bool noise)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image(size, Qt::darkCyan, noise).save(&buffer, "PNG");
    return bytes;
}

} // namespace TestProjects
