#include "unpacker.h"

#include "backgroundwork.h"

#include "plugin/logging.h"

#include <utils/archive.h>
#include <utils/fileutils.h>

#include <QThread>

namespace Vantor {
namespace Internal {

namespace {

// Only the GUI thread starts and stops unpackers, so the thread needs no lock.
std::shared_ptr<QThread> sharedThread()
{
    static std::weak_ptr<QThread> current;
    std::shared_ptr<QThread> thread = current.lock();
    if (!thread) {
        thread.reset(new QThread, [](QThread *ending) {
            // Unpackers stopped last are deleted as it finishes, with their `tar`.
            ending->quit();
            ending->wait();
            delete ending;
        });
        thread->setObjectName(QStringLiteral("Vantor unpacking"));
        BackgroundWork::yieldToForeground(thread.get());
        thread->start();
        current = thread;
    }
    return thread;
}

} // namespace

Unpacker::Unpacker() = default;

void Unpacker::start(const QString &archive, const QString &destination)
{
    m_thread = sharedThread();
    moveToThread(m_thread.get());
    QMetaObject::invokeMethod(this, [this, archive, destination] { unpack(archive, destination); },
                              Qt::QueuedConnection);
}

void Unpacker::release()
{
    disconnect(this, nullptr, nullptr, nullptr);
    // Let go here, in the GUI thread: when this was the last one, the thread ends right away and
    // runs the deletion on its way out.
    const std::shared_ptr<QThread> thread = std::move(m_thread);
    deleteLater();
}

void Unpacker::stop()
{
    disconnect(this, nullptr, nullptr, nullptr);
    const std::shared_ptr<QThread> thread = std::move(m_thread);
    if (thread)
        QMetaObject::invokeMethod(this, [this] { delete this; }, Qt::BlockingQueuedConnection);
    else
        delete this; // never started
}

void Unpacker::unpack(const QString &archive, const QString &destination)
{
    Utils::Archive *unarchiver = Utils::Archive::unarchive(Utils::FilePath::fromString(archive),
                                                           Utils::FilePath::fromString(destination));
    if (!unarchiver) {
        emit unsupported();
        return;
    }
    // Deleted with this object, which stops it; otherwise it deletes itself once finished.
    unarchiver->setParent(this);
    // Only for the log: the host's unpacker adds lines of its own, so nothing is counted here.
    connect(unarchiver, &Utils::Archive::outputReceived, this, [](const QString &output) {
        qCDebug(archiveLog) << "Unpacking output:" << output;
    });
    connect(unarchiver, &Utils::Archive::finished, this, &Unpacker::finished);
}

} // namespace Internal
} // namespace Vantor
