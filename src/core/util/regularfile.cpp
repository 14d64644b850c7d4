// VexaHost - reading and replacing the program's own files.
#include "core/util/regularfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QSaveFile>
#endif

namespace vexa {

namespace {

#ifdef Q_OS_UNIX
QString notRegular(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("it is a folder, not a regular file");
    if (S_ISFIFO(mode))
        return QStringLiteral("it is a named pipe (FIFO), not a regular file");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("it is a device, not a regular file");
    if (S_ISSOCK(mode))
        return QStringLiteral("it is a socket, not a regular file");
    return QStringLiteral("it is not a regular file");
}

class Descriptor
{
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }
    // The close's own result: a write-back error may first show here.
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd);
    }

private:
    int m_fd;
};
#endif

QString tooLarge(qint64 largestBytes)
{
    return QStringLiteral("it is larger than %1 bytes").arg(largestBytes);
}

} // namespace

RegularFileRead readRegularFile(const QString &path, qint64 largestBytes)
{
    RegularFileRead out;
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(path);
    Descriptor fd(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) {
        out.status = errno == ENOENT ? RegularFileRead::Status::Missing : RegularFileRead::Status::Failed;
        out.reason = qt_error_string(errno);
        return out;
    }
    struct stat info = {};
    if (::fstat(fd.get(), &info) != 0) {
        out.reason = qt_error_string(errno);
        return out;
    }
    if (!S_ISREG(info.st_mode)) {
        out.status = RegularFileRead::Status::NotRegular;
        out.reason = notRegular(info.st_mode);
        return out;
    }
    if (info.st_size > largestBytes) {
        out.status = RegularFileRead::Status::TooLarge;
        out.reason = tooLarge(largestBytes);
        return out;
    }
    // The size said is not trusted (files under /proc say 0, a file may
    // grow meanwhile): one byte more than allowed tells a larger file. The
    // buffer starts at the size said and grows only as bytes arrive, so a
    // small file never costs the whole bound.
    const qsizetype bound = qsizetype(largestBytes) + 1;
    out.bytes.resize(qMin(bound, qMax<qsizetype>(qsizetype(info.st_size) + 1, 4096)));
    qsizetype filled = 0;
    while (filled < bound) {
        if (filled == out.bytes.size())
            out.bytes.resize(qMin(bound, out.bytes.size() * 2));
        const ssize_t got = ::read(fd.get(), out.bytes.data() + filled, size_t(out.bytes.size() - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            out.bytes.clear();
            out.reason = qt_error_string(errno);
            return out;
        }
        if (got == 0)
            break;
        filled += got;
    }
    if (filled > largestBytes) {
        out.bytes.clear();
        out.status = RegularFileRead::Status::TooLarge;
        out.reason = tooLarge(largestBytes);
        return out;
    }
    out.bytes.truncate(filled);
    out.bytes.squeeze();
#else
    const QFileInfo info(path);
    if (!info.exists()) {
        out.status = RegularFileRead::Status::Missing;
        out.reason = QStringLiteral("No such file or directory");
        return out;
    }
    if (!info.isFile()) {
        out.status = RegularFileRead::Status::NotRegular;
        out.reason = info.isDir() ? QStringLiteral("it is a folder, not a regular file")
                                  : QStringLiteral("it is not a regular file");
        return out;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        out.reason = file.errorString();
        return out;
    }
    out.bytes = file.read(largestBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        out.bytes.clear();
        out.reason = file.errorString();
        return out;
    }
    if (out.bytes.size() > largestBytes) {
        out.bytes.clear();
        out.status = RegularFileRead::Status::TooLarge;
        out.reason = tooLarge(largestBytes);
        return out;
    }
#endif
    out.status = RegularFileRead::Status::Read;
    return out;
}

QString replaceFile(const QString &path, const QByteArray &bytes)
{
    // A link is kept: its target is what gets replaced.
    QString target = path;
    const QFileInfo link(path);
    if (link.isSymLink()) {
        const QString resolved = link.canonicalFilePath();
        target = resolved.isEmpty() ? link.symLinkTarget() : resolved;
    }
#ifdef Q_OS_UNIX
    const QByteArray targetName = QFile::encodeName(target);
    struct stat old = {};
    const bool existed = ::stat(targetName.constData(), &old) == 0;
    if (existed && !S_ISREG(old.st_mode))
        return notRegular(old.st_mode);

    QByteArray tempName;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        tempName = targetName + ".new-" + QByteArray::number(QRandomGenerator::global()->generate(), 16);
        fd = ::open(tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return qt_error_string(errno);
    Descriptor file(fd);
    const auto fail = [&tempName](int error) {
        ::unlink(tempName.constData());
        return qt_error_string(error);
    };
    // The operator's own permissions on the file survive its replacement.
    if (existed && ::fchmod(file.get(), old.st_mode & 07777) != 0)
        return fail(errno);
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t put = ::write(file.get(), bytes.constData() + written, size_t(bytes.size() - written));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return fail(put < 0 ? errno : EIO);
        written += put;
    }
    if (::fsync(file.get()) != 0)
        return fail(errno);
    if (file.release() != 0)
        return fail(errno);
    if (::rename(tempName.constData(), targetName.constData()) != 0)
        return fail(errno);
    // The rename itself reaches the disk with the folder; a folder that
    // cannot be synced (some file systems) changes nothing already done.
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return {};
#else
    const QFileInfo info(target);
    if (info.exists() && !info.isFile())
        return info.isDir() ? QStringLiteral("it is a folder, not a regular file")
                            : QStringLiteral("it is not a regular file");
    QSaveFile file(target);
    // Unbuffered: a failed write is seen by commit(), which then keeps the old file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return why;
    }
    if (!file.commit())
        return file.errorString();
    return {};
#endif
}

} // namespace vexa
