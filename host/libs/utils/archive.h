#pragma once

#include "utils_global.h"

#include "fileutils.h"

#include <QObject>
#include <QPointer>

QT_BEGIN_NAMESPACE
class QProcess;
QT_END_NAMESPACE

namespace Utils {

// Unpacks an archive with an external tool. The caller owns the returned object until it has
// reported finished(); then it deletes itself later. Its output starts with the command line,
// carries the tool's error output among the listing and ends with a failure line when it failed.
class QTCREATOR_UTILS_EXPORT Archive : public QObject
{
    Q_OBJECT

public:
    ~Archive() override;

    static bool supportsFile(const FilePath &filePath, QString *reason = nullptr);
    static Archive *unarchive(const FilePath &src, const FilePath &dest);

    void cancel();

signals:
    void outputReceived(const QString &output);
    void finished(bool success);

private:
    Archive() = default;

    void readOutput();
    void reportOutput(const QString &output);
    void reportFailure(const QString &reason = QString());
    // Reports the end exactly once, however it came about.
    void reportFinished(bool success);

    QPointer<QProcess> m_process;
    bool m_finished = false;
};

} // namespace Utils
