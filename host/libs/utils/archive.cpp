#include "archive.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace Utils {

Archive::~Archive()
{
    if (m_process) {
        // No signals from a process that is being torn down with us.
        m_process->disconnect(this);
        if (m_process->state() != QProcess::NotRunning) {
            m_process->kill();
            m_process->waitForFinished(3000);
        }
    }
}

bool Archive::supportsFile(const FilePath &filePath, QString *reason)
{
    const QString name = filePath.toString().toLower();
    if (name.endsWith(QLatin1String(".tar.gz")) || name.endsWith(QLatin1String(".tgz")))
        return true;
    if (reason)
        *reason = tr("File format not supported.");
    return false;
}

Archive *Archive::unarchive(const FilePath &src, const FilePath &dest)
{
    if (!supportsFile(src))
        return nullptr;
    const QString tar = QStandardPaths::findExecutable(QLatin1String("tar"));
    if (tar.isEmpty())
        return nullptr;

    // A missing working directory makes the start fail, which is reported by finished(false).
    QDir().mkpath(dest.toString());

    auto archive = new Archive;
    auto process = new QProcess(archive);
    archive->m_process = process;
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setWorkingDirectory(dest.toString());

    // Queued, so that the caller can connect to the returned object before anything is reported.
    connect(process, &QProcess::readyReadStandardOutput, archive,
            &Archive::readOutput, Qt::QueuedConnection);
    connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), archive,
            [archive](int exitCode, QProcess::ExitStatus status) {
                archive->readOutput();
                archive->reportFinished(status == QProcess::NormalExit && exitCode == 0);
            }, Qt::QueuedConnection);
    connect(process, &QProcess::errorOccurred, archive, [archive](QProcess::ProcessError error) {
        // Other errors are followed by finished(); a failed start is not.
        if (error == QProcess::FailedToStart) {
            emit archive->outputReceived(archive->m_process ? archive->m_process->errorString()
                                                            : QString());
            archive->reportFinished(false);
        }
    }, Qt::QueuedConnection);

    process->start(tar, {QLatin1String("xvzf"), QFileInfo(src.toString()).absoluteFilePath()});
    return archive;
}

void Archive::cancel()
{
    if (m_finished)
        return;
    if (m_process) {
        m_process->disconnect(this);
        if (m_process->state() != QProcess::NotRunning) {
            m_process->kill();
            m_process->waitForFinished(3000);
        }
    }
    reportFinished(false);
}

void Archive::readOutput()
{
    if (!m_process)
        return;
    const QByteArray output = m_process->readAllStandardOutput();
    if (!output.isEmpty())
        emit outputReceived(QString::fromLocal8Bit(output));
}

void Archive::reportFinished(bool success)
{
    if (m_finished)
        return;
    m_finished = true;
    emit finished(success);
}

} // namespace Utils
