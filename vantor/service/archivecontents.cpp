#include "archivecontents.h"

#include <QFile>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <limits>

namespace Vantor {
namespace Internal {

namespace {

constexpr size_t fileBlockSize = 64 * 1024;

archive *newReader()
{
    archive *reader = archive_read_new();
    // What the unpacker takes and nothing else: a tar behind gzip.
    archive_read_support_filter_gzip(reader);
    archive_read_support_format_tar(reader);
    return reader;
}

// Warnings (a name in an unexpected encoding, say) leave the entry readable.
bool failed(int status)
{
    return status != ARCHIVE_OK && status != ARCHIVE_WARN && status != ARCHIVE_EOF;
}

QString errorString(archive *reader)
{
    return QString::fromLocal8Bit(archive_error_string(reader));
}

// Headers may carry UTF-8 (pax) or bytes in no stated encoding (GNU).
QString nameOf(const char *utf8, const char *bytes)
{
    return utf8 ? QString::fromUtf8(utf8) : QFile::decodeName(bytes);
}

ArchiveContents::Type typeOf(archive_entry *header)
{
    using Type = ArchiveContents::Type;
    if (archive_entry_hardlink(header))
        return Type::HardLink;
    switch (archive_entry_filetype(header)) {
    case AE_IFDIR:
        return Type::Folder;
    case AE_IFLNK:
        return Type::SymbolicLink;
    case AE_IFIFO:
        return Type::Fifo;
    case AE_IFSOCK:
        return Type::Socket;
    case AE_IFCHR:
        return Type::CharacterDevice;
    case AE_IFBLK:
        return Type::BlockDevice;
    default:
        return Type::File; // unknown kinds are unpacked as files
    }
}

// A name that would place something outside the folder it is unpacked into.
bool leavesFolder(const QString &name)
{
    if (name.startsWith(QLatin1Char('/')))
        return true;
    const QVector<QStringRef> parts = name.splitRef(QLatin1Char('/'));
    return std::any_of(parts.cbegin(), parts.cend(), [](const QStringRef &part) {
        return part == QLatin1String("..");
    });
}

} // namespace

ArchiveContents ArchiveContents::readFile(const QString &path, const Limits &limits)
{
    archive *reader = newReader();
    return read(reader, archive_read_open_filename(reader, QFile::encodeName(path).constData(), fileBlockSize),
                limits);
}

ArchiveContents ArchiveContents::readData(const QByteArray &data, const Limits &limits)
{
    archive *reader = newReader();
    return read(reader, archive_read_open_memory(reader, data.constData(), size_t(data.size())), limits);
}

QVector<ArchiveContents::Entry> ArchiveContents::specialEntries() const
{
    QVector<Entry> special;
    for (const Entry &entry : m_entries) {
        if (entry.type != Type::File && entry.type != Type::Folder)
            special.append(entry);
    }
    return special;
}

ArchiveContents ArchiveContents::read(archive *reader, int opened, const Limits &limits)
{
    ArchiveContents contents;
    if (opened != ARCHIVE_OK)
        contents.refuse(Verdict::Unreadable, errorString(reader));
    else
        while (contents.readEntry(reader, limits)) { }
    archive_read_free(reader);
    return contents;
}

// False once reading is over, accepted or refused.
bool ArchiveContents::readEntry(archive *reader, const Limits &limits)
{
    archive_entry *header = nullptr;
    const int status = archive_read_next_header(reader, &header);
    if (failed(status))
        return refuse(Verdict::Unreadable, errorString(reader));
    if (m_entries.isEmpty() && archive_filter_code(reader, 0) != ARCHIVE_FILTER_GZIP)
        return refuse(Verdict::Unreadable, QStringLiteral("not compressed with gzip"));
    if (status == ARCHIVE_EOF) {
        m_verdict = Verdict::Accepted;
        return false;
    }
    if (m_entries.size() >= limits.entries)
        return refuse(Verdict::TooManyEntries);

    Entry entry;
    entry.name = nameOf(archive_entry_pathname_utf8(header), archive_entry_pathname(header));
    entry.type = typeOf(header);
    if (entry.name.isEmpty())
        return refuse(Verdict::Unreadable, QStringLiteral("entry without a name"));
    if (leavesFolder(entry.name))
        return refuse(Verdict::UnsafeName, entry.name);
    if (entry.type == Type::HardLink) {
        entry.target = nameOf(archive_entry_hardlink_utf8(header), archive_entry_hardlink(header));
        // It would give the example a second name for a file elsewhere.
        if (leavesFolder(entry.target))
            return refuse(Verdict::UnsafeName, entry.target);
    } else if (entry.type == Type::SymbolicLink) {
        entry.target = nameOf(archive_entry_symlink_utf8(header), archive_entry_symlink(header));
    } else if (entry.type == Type::File) {
        entry.size = archive_entry_size(header);
        m_declaredBytes += qMin(entry.size, std::numeric_limits<qint64>::max() - m_declaredBytes);
    }
    m_entries.append(entry);
    if (m_declaredBytes > limits.bytes)
        return refuse(Verdict::TooLarge);
    return readEntryData(reader, limits);
}

// Whatever the header says, every byte of data is decompressed and counted, then dropped.
bool ArchiveContents::readEntryData(archive *reader, const Limits &limits)
{
    const void *block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
        const int status = archive_read_data_block(reader, &block, &size, &offset);
        if (status == ARCHIVE_EOF)
            return true;
        if (failed(status))
            return refuse(Verdict::Unreadable, errorString(reader));
        m_readBytes += qint64(size);
        if (m_readBytes > limits.bytes)
            return refuse(Verdict::TooLarge);
    }
}

bool ArchiveContents::refuse(Verdict verdict, const QString &detail)
{
    m_verdict = verdict;
    m_detail = detail;
    return false;
}

} // namespace Internal
} // namespace Vantor
