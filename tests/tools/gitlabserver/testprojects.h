#pragma once

#include <QColor>
#include <QSize>
#include <QString>

// Real example projects and pictures on disk, for serving them with GitLabServer.
namespace TestProjects {

// A qmake project "<name>.pro" with a main.cpp in `folder` (created when missing).
bool writeQmakeProject(const QString &folder, const QString &name);
// A CMake project (CMakeLists.txt, main.cpp, a qml file) in `folder` (created when missing).
bool writeCMakeProject(const QString &folder, const QString &name);
// A PNG picture of one colour.
bool writePng(const QString &fileName, const QSize &size, const QColor &color = Qt::darkCyan);
// Writes `content` to `folder`/`relativePath`, creating folders as needed.
bool writeFile(const QString &folder, const QString &relativePath, const QByteArray &content);

} // namespace TestProjects
