#include "testprojects.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

namespace TestProjects {

bool writeFile(const QString &folder, const QString &relativePath, const QByteArray &content)
{
    const QString fileName = QDir(folder).filePath(relativePath);
    if (!QDir().mkpath(QFileInfo(fileName).absolutePath()))
        return false;
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
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

bool writePng(const QString &fileName, const QSize &size, const QColor &color)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(color);
    return QDir().mkpath(QFileInfo(fileName).absolutePath()) && image.save(fileName, "PNG");
}

} // namespace TestProjects
