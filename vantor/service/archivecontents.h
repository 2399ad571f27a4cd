#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

struct archive;

namespace Vantor {
namespace Internal {

// The table of contents of a downloaded ".tar.gz", read in-process before anything is unpacked:
// entries, their names and types, and how large the content is, both as the headers state it and
// as decompressing the data really yields it. Every data block is decompressed and discarded, so a
// header that understates its data is caught by reading, and reading stops at the first limit
// passed. A plain value without QObject, meant for a worker thread:
//     QtConcurrent::run(&ArchiveContents::readFile, path, ArchiveContents::Limits(bytes, entries))
// The limits are the caller's: the installation's are ExampleInstallation::MaximumUnpacked*.
class ArchiveContents
{
public:
    struct Limits
    {
        Limits(qint64 bytes, int entries)
            : bytes(bytes)
            , entries(entries)
        {}
        qint64 bytes;
        int entries;
    };

    enum class Verdict {
        Accepted,
        TooManyEntries,
        TooLarge,
        Unreadable, // not a gzip-compressed tar, or damaged
        UnsafeName, // an entry or hard link target that is absolute or has a ".." component
    };

    enum class Type { File, Folder, SymbolicLink, HardLink, Fifo, Socket, CharacterDevice, BlockDevice };

    struct Entry
    {
        QString name;
        QString target; // of a link
        Type type = Type::File;
        qint64 size = 0; // as the header states it; only files have one
    };

    // Empty, and refused as unreadable.
    ArchiveContents() = default;

    static ArchiveContents readFile(const QString &path, const Limits &limits);
    static ArchiveContents readData(const QByteArray &data, const Limits &limits);

    Verdict verdict() const { return m_verdict; }
    bool isAccepted() const { return m_verdict == Verdict::Accepted; }
    // For UnsafeName, the offending name; for Unreadable, the reader's message.
    QString refusalDetail() const { return m_detail; }

    // Up to where reading stopped; complete when accepted.
    const QVector<Entry> &entries() const { return m_entries; }
    // Links, FIFOs, sockets and device nodes: unpacked, then looked at again by the installation's
    // cleaning, which removes all but the links that stay inside the example.
    QVector<Entry> specialEntries() const;
    // Sum of the regular files' sizes as their headers state them.
    qint64 declaredBytes() const { return m_declaredBytes; }
    // Entry data that decompressing yielded, holes of sparse files left out.
    qint64 readBytes() const { return m_readBytes; }

private:
    static ArchiveContents read(archive *reader, int opened, const Limits &limits);
    bool readEntry(archive *reader, const Limits &limits);
    bool readEntryData(archive *reader, const Limits &limits);
    bool refuse(Verdict verdict, const QString &detail = QString());

    Verdict m_verdict = Verdict::Unreadable;
    QString m_detail;
    QVector<Entry> m_entries;
    qint64 m_declaredBytes = 0;
    qint64 m_readBytes = 0;
};

} // namespace Internal
} // namespace Vantor
