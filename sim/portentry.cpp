// vexa-sim - the COMn entry in the per-user port folder.
#include "portentry.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>

namespace vexa::sim {

namespace {

QString linkTarget(const QByteArray &path)
{
    char buffer[4096];
    const ssize_t n = ::readlink(path.constData(), buffer, sizeof buffer - 1);
    return n < 0 ? QString() : QString::fromLocal8Bit(buffer, int(n));
}

QString systemError(const QString &what)
{
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

QString PortEntry::portFolder()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Kestrune/VexaHost/ports");
}

bool PortEntry::publish(const QString &portName, const QString &target, QString *warning, QString *error)
{
    const QString folder = portFolder();
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create the port folder ") + folder;
        return false;
    }
    const QString path = folder + QLatin1Char('/') + portName;
    const QByteArray nativePath = QFile::encodeName(path);

    struct stat existing {};
    if (::lstat(nativePath.constData(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode)) {
            *error = QStringLiteral("the port entry %1 is a folder").arg(path);
            return false;
        }
        const QString old = linkTarget(nativePath);
        if (old.isEmpty())
            *warning = QStringLiteral("replacing the port entry %1, which was no link").arg(path);
        else if (QFileInfo::exists(path))
            *warning = QStringLiteral("replacing the port entry %1, which pointed to %2").arg(path, old);
        else
            *warning = QStringLiteral("replacing the stale port entry %1 (%2 is gone)").arg(path, old);
    }

    const QByteArray temporary =
        QFile::encodeName(folder + QStringLiteral("/.%1.%2.new").arg(portName).arg(::getpid()));
    ::unlink(temporary.constData());
    if (::symlink(QFile::encodeName(target).constData(), temporary.constData()) != 0) {
        *error = systemError(QStringLiteral("cannot create the port entry ") + path);
        return false;
    }
    if (::rename(temporary.constData(), nativePath.constData()) != 0) {
        *error = systemError(QStringLiteral("cannot create the port entry ") + path);
        ::unlink(temporary.constData());
        return false;
    }
    m_path = path;
    m_target = target;
    return true;
}

void PortEntry::remove()
{
    if (m_path.isEmpty())
        return;
    const QByteArray nativePath = QFile::encodeName(m_path);
    if (linkTarget(nativePath) == m_target)
        ::unlink(nativePath.constData());
    m_path.clear();
}

} // namespace vexa::sim
