#pragma once

#include <QObject>

#include <memory>

QT_BEGIN_NAMESPACE
class QThread;
QT_END_NAMESPACE

namespace Vantor {
namespace Internal {

// Runs the host's unpacker for one archive in a thread of its own, shared by every unpacking
// under way. Starting `tar` copies the page tables of the whole IDE and makes it fault on its next
// writes: about a millisecond each, which the GUI thread cannot spare when a thousand examples
// arrive at once.
class Unpacker : public QObject
{
    Q_OBJECT

public:
    Unpacker();

    // Starts unpacking `archive` into `destination`; finished() or unsupported() follows. From
    // here on the object lives in the unpacking thread: end it with release() once finished, or
    // with stop().
    void start(const QString &archive, const QString &destination);
    // Deletes this object after finished(), without waiting.
    void release();
    // Kills a running `tar` and deletes this object before it returns: its files may go next.
    // Nothing more is reported.
    void stop();

signals:
    void finished(bool success);
    // Instead of finished(): the host has no unpacker for the file.
    void unsupported();

private:
    void unpack(const QString &archive, const QString &destination);

    // Held for every started unpacker and let go in the GUI thread, where the last one ends the
    // thread: a thread cannot wait for itself.
    std::shared_ptr<QThread> m_thread;
};

} // namespace Internal
} // namespace Vantor
