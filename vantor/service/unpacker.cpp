#include "unpacker.h"

#include "plugin/logging.h"

#include <QFile>
#include <QList>

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Vantor {
namespace Internal {

namespace {

constexpr size_t fileBlockSize = 64 * 1024;

// Closed on every way out.
class Descriptor
{
public:
    explicit Descriptor(int descriptor)
        : m_descriptor(descriptor)
    {}
    ~Descriptor()
    {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_descriptor; }

private:
    const int m_descriptor;
};

// As the header stores it: pax headers may carry only UTF-8.
QByteArray localName(const char *bytes, const char *utf8)
{
    if (bytes)
        return QByteArray(bytes);
    return utf8 ? QFile::encodeName(QString::fromUtf8(utf8)) : QByteArray();
}

// "." and empty parts say nothing; "./top//file" is "top/file".
QList<QByteArray> partsOf(const QByteArray &path)
{
    QList<QByteArray> parts;
    for (const QByteArray &part : path.split('/')) {
        if (!part.isEmpty() && part != ".")
            parts.append(part);
    }
    return parts;
}

} // namespace

Unpacker::Unpacker(const QString &archive, const QString &destination)
    : m_archive(archive)
    , m_destination(destination)
{
}

Unpacker::~Unpacker()
{
    if (m_reader)
        archive_read_free(m_reader);
    if (m_root >= 0)
        ::close(m_root);
}

bool Unpacker::unpack(const std::atomic_bool &cancelled)
{
    const QByteArray destination = QFile::encodeName(m_destination);
    m_root = ::open(destination.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (m_root < 0)
        return fail(destination, errno);
    m_reader = archive_read_new();
    archive_read_support_filter_gzip(m_reader);
    archive_read_support_format_tar(m_reader);
    if (archive_read_open_filename(m_reader, QFile::encodeName(m_archive).constData(), fileBlockSize) != ARCHIVE_OK)
        return fail(QString::fromLocal8Bit(archive_error_string(m_reader)));
    for (;;) {
        if (cancelled)
            return fail(QStringLiteral("cancelled"));
        archive_entry *header = nullptr;
        const int status = archive_read_next_header(m_reader, &header);
        if (status == ARCHIVE_EOF)
            return true;
        if (status != ARCHIVE_OK && status != ARCHIVE_WARN)
            return fail(QString::fromLocal8Bit(archive_error_string(m_reader)));
        if (!writeEntry(header, cancelled))
            return false;
    }
}

bool Unpacker::writeEntry(archive_entry *header, const std::atomic_bool &cancelled)
{
    const QByteArray path = localName(archive_entry_pathname(header), archive_entry_pathname_utf8(header));
    // Like `tar xv`, a line per entry for whoever enables the log.
    qCDebug(archiveLog) << "Unpacking output:" << QFile::decodeName(path);
    const mode_t type = archive_entry_filetype(header);
    const QByteArray linkTarget = localName(archive_entry_hardlink(header), archive_entry_hardlink_utf8(header));
    if (type == AE_IFDIR && partsOf(path).isEmpty())
        return true; // the destination itself
    QByteArray name;
    const Descriptor folder(openParent(path, &name, true));
    if (folder.get() < 0)
        return false;
    const mode_t permissions = archive_entry_perm(header) & 0777;

    if (!linkTarget.isEmpty()) {
        QByteArray targetName;
        const Descriptor targetFolder(openParent(linkTarget, &targetName, false));
        if (targetFolder.get() < 0 || !clearPlace(folder.get(), name, path))
            return false;
        // The link itself when the target is one: never followed.
        if (::linkat(targetFolder.get(), targetName.constData(), folder.get(), name.constData(), 0) != 0)
            return fail(path, errno);
        return true;
    }
    switch (type) {
    case AE_IFDIR:
        // Open to its owner, so that what follows can be written into it and the user can edit it.
        if (::mkdirat(folder.get(), name.constData(), permissions | 0700) == 0)
            return true;
        if (errno == EEXIST) {
            struct stat status;
            if (::fstatat(folder.get(), name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0
                && S_ISDIR(status.st_mode))
                return true;
            if (clearPlace(folder.get(), name, path) && ::mkdirat(folder.get(), name.constData(), permissions | 0700) == 0)
                return true;
        }
        return fail(path, errno);
    case AE_IFLNK: {
        const QByteArray target = localName(archive_entry_symlink(header), archive_entry_symlink_utf8(header));
        if (!clearPlace(folder.get(), name, path))
            return false;
        if (::symlinkat(target.constData(), folder.get(), name.constData()) != 0)
            return fail(path, errno);
        return true;
    }
    case AE_IFIFO:
    case AE_IFSOCK:
    case AE_IFCHR:
    case AE_IFBLK:
        return fail(QStringLiteral("%1: not a file, folder or link").arg(QFile::decodeName(path)));
    default:
        return writeFile(folder.get(), name, path, header, cancelled);
    }
}

bool Unpacker::writeFile(int folder, const QByteArray &name, const QByteArray &path, archive_entry *header,
                         const std::atomic_bool &cancelled)
{
    if (!clearPlace(folder, name, path))
        return false;
    // The umask applies; setuid, setgid and sticky bits never do.
    const Descriptor file(::openat(folder, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                   archive_entry_perm(header) & 0777));
    if (file.get() < 0)
        return fail(path, errno);
    const void *block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
        if (cancelled)
            return fail(QStringLiteral("cancelled"));
        const int status = archive_read_data_block(m_reader, &block, &size, &offset);
        if (status == ARCHIVE_EOF)
            break;
        if (status != ARCHIVE_OK && status != ARCHIVE_WARN)
            return fail(QString::fromLocal8Bit(archive_error_string(m_reader)));
        // At its offset: a sparse file's holes are skipped.
        const char *data = static_cast<const char *>(block);
        while (size > 0) {
            const ssize_t written = ::pwrite(file.get(), data, size, offset);
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                return fail(path, errno);
            }
            data += written;
            offset += written;
            size -= size_t(written);
        }
    }
    // A hole at the end has no block to write.
    if (archive_entry_size_is_set(header) && ::ftruncate(file.get(), archive_entry_size(header)) != 0)
        return fail(path, errno);
    if (archive_entry_mtime_is_set(header)) {
        const struct timespec times[2] = {{0, UTIME_OMIT},
                                          {archive_entry_mtime(header), archive_entry_mtime_nsec(header)}};
        ::futimens(file.get(), times);
    }
    return true;
}

// Opens the folder that is to hold the last part of `path`, below the destination, making the
// missing folders on the way when `make` is set. A link on the way is an error, not a detour.
int Unpacker::openParent(const QByteArray &path, QByteArray *name, bool make)
{
    const QList<QByteArray> parts = partsOf(path);
    if (parts.isEmpty() || parts.contains("..")) {
        fail(QStringLiteral("%1: leads out of the folder").arg(QFile::decodeName(path)));
        return -1;
    }
    *name = parts.last();
    int current = ::fcntl(m_root, F_DUPFD_CLOEXEC, 0);
    for (int i = 0; current >= 0 && i < parts.size() - 1; ++i) {
        const Descriptor folder(current);
        const char *part = parts.at(i).constData();
        current = ::openat(folder.get(), part, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (current < 0 && errno == ENOENT && make && (::mkdirat(folder.get(), part, 0777) == 0 || errno == EEXIST))
            current = ::openat(folder.get(), part, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (current < 0)
        fail(path, errno);
    return current;
}

// Removes what stands where an entry goes, as tar does, unless it is a folder.
bool Unpacker::clearPlace(int folder, const QByteArray &name, const QByteArray &path)
{
    struct stat status;
    if (::fstatat(folder, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT || fail(path, errno);
    if (S_ISDIR(status.st_mode))
        return fail(path, EISDIR);
    return ::unlinkat(folder, name.constData(), 0) == 0 || fail(path, errno);
}

bool Unpacker::fail(const QByteArray &path, int error)
{
    return fail(QStringLiteral("%1: %2").arg(QFile::decodeName(path), QString::fromLocal8Bit(std::strerror(error))));
}

bool Unpacker::fail(const QString &message)
{
    if (m_error.isEmpty())
        m_error = message;
    return false;
}

} // namespace Internal
} // namespace Vantor
