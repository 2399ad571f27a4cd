#pragma once

#include <QByteArray>
#include <QColor>
#include <QDateTime>
#include <QMap>
#include <QSize>
#include <QString>

// Real example projects, files and pictures on disk.
namespace TestProjects {

using Files = QMap<QString, QByteArray>; // path below a folder, content

// A qmake project "<name>.pro" with a main.cpp in `folder` (created when missing).
bool writeQmakeProject(const QString &folder, const QString &name);
// A CMake project (CMakeLists.txt, main.cpp, a qml file) in `folder` (created when missing).
bool writeCMakeProject(const QString &folder, const QString &name);
// A PNG picture of one colour.
bool writePng(const QString &fileName, const QSize &size, const QColor &color = Qt::darkCyan);
// The bytes of a PNG picture; with `noise` random pixels make a file much larger than one colour.
QByteArray png(const QSize &size, bool noise = false);

// Writes `content` to `folder`/`relativePath`, creating folders as needed.
bool writeFile(const QString &folder, const QString &relativePath, const QByteArray &content);
// Writes the files in map order. With a valid `firstTime`, the files are modified at that time
// and each next one ten seconds later.
bool writeFiles(const QString &folder, const Files &files, const QDateTime &firstTime = {});
QByteArray readFile(const QString &fileName); // empty when unreadable
// Sets the modification time of a file or a folder.
bool setModified(const QString &path, const QDateTime &time);

} // namespace TestProjects
