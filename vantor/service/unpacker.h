#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>

struct archive;
struct archive_entry;

namespace Vantor {
namespace Internal {

// Unpacks a ".tar.gz" in the calling thread, in-process: no `tar` is started, because starting a
// process copies the page tables of the whole IDE and makes each of its threads fault on its next
// writes, a thousand times when a thousand examples arrive.
// Meant for archives whose contents were read through and accepted first (ArchiveContents): it
// writes folders, files, symbolic and hard links only, refuses absolute and ".." names again, and
// never follows a link on the way to what it writes, so nothing lands outside the destination
// whatever an earlier entry left there. Modes are kept without setuid, setgid and sticky bits and
// with the user's umask, folders stay open to their owner, files keep their modification times.
class Unpacker
{
public:
    Unpacker(const QString &archive, const QString &destination);
    ~Unpacker();

    // True once every entry is written. Stops, false, soon after `cancelled` is set.
    bool unpack(const std::atomic_bool &cancelled);
    // Why it failed, for the log.
    QString errorString() const { return m_error; }

private:
    bool writeEntry(archive_entry *header, const std::atomic_bool &cancelled);
    bool writeFile(int folder, const QByteArray &name, const QByteArray &path, archive_entry *header,
                   const std::atomic_bool &cancelled);
    int openParent(const QByteArray &path, QByteArray *name, bool make);
    bool clearPlace(int folder, const QByteArray &name, const QByteArray &path);
    bool fail(const QByteArray &path, int error);
    bool fail(const QString &message);

    const QString m_archive;
    const QString m_destination;
    archive *m_reader = nullptr;
    int m_root = -1;
    QString m_error;
};

} // namespace Internal
} // namespace Vantor
