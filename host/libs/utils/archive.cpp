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
    // Error messages belong in the listing, where the caller sees them in order.
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setWorkingDirectory(dest.toString());

    const QStringList arguments{QLatin1String("xvzf"), QFileInfo(src.toString()).absoluteFilePath()};
    const QString commandLine = (QStringList{QDir::toNativeSeparators(tar)} + arguments).join(QLatin1Char(' '));
    // Queued, so that the caller can connect to the returned object before anything is reported,
    // and posted before the process can report anything, so that this line comes first.
    QMetaObject::invokeMethod(archive, [archive, commandLine] {
        archive->reportOutput(tr("Running %1\n").arg(commandLine));
    }, Qt::QueuedConnection);
    connect(process, &QProcess::readyReadStandardOutput, archive,
            &Archive::readOutput, Qt::QueuedConnection);
    connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), archive,
            [archive](int exitCode, QProcess::ExitStatus status) {
                archive->readOutput();
                if (status == QProcess::NormalExit && exitCode == 0)
                    archive->reportFinished(true);
                else
                    archive->reportFailure();
            }, Qt::QueuedConnection);
    connect(process, &QProcess::errorOccurred, archive, [archive](QProcess::ProcessError error) {
        // Other errors are followed by finished(); a failed start is not.
        if (error == QProcess::FailedToStart)
            archive->reportFailure(archive->m_process ? archive->m_process->errorString() : QString());
    }, Qt::QueuedConnection);

    process->start(tar, arguments);
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
        reportOutput(QString::fromLocal8Bit(output));
}

void Archive::reportOutput(const QString &output)
{
    if (!m_finished)
        emit outputReceived(output);
}

void Archive::reportFailure(const QString &reason)
{
    if (!reason.isEmpty())
        reportOutput(reason + QLatin1Char('\n'));
    reportOutput(tr("Command failed.\n"));
    reportFinished(false);
}

void Archive::reportFinished(bool success)
{
    if (m_finished)
        return;
    m_finished = true;
    // A receiver may delete this object right away.
    const QPointer<Archive> self(this);
    emit finished(success);
    if (self)
        deleteLater();
}

} // namespace Utils
