// vexa-sim - the reader's end of a pseudo-terminal.
#include "pty.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace vexa::sim {

namespace {

struct SpeedEntry
{
    speed_t speed;
    int rate;
};

constexpr SpeedEntry kSpeeds[] = {
    {B50, 50},         {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
    {B200, 200},       {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
    {B2400, 2400},     {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
    {B57600, 57600},   {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600},
};

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

int rateFromSpeed(unsigned speed)
{
    for (const auto &entry : kSpeeds)
        if (entry.speed == speed)
            return entry.rate;
    return 0;
}

unsigned speedFromRate(int rate)
{
    for (const auto &entry : kSpeeds)
        if (entry.rate == rate)
            return entry.speed;
    return B0;
}

PtyEndpoint::~PtyEndpoint()
{
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
}

bool PtyEndpoint::open(int rate, QString *error)
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) {
        *error = systemError("posix_openpt");
        return false;
    }
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        *error = systemError("grantpt/unlockpt");
        return false;
    }
    char name[128] = {};
    if (::ptsname_r(m_master, name, sizeof name) != 0) {
        *error = systemError("ptsname_r");
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(name);

    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0) {
        *error = systemError("open slave");
        return false;
    }
    termios tio{};
    if (::tcgetattr(m_slave, &tio) != 0) {
        *error = systemError("tcgetattr");
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    ::cfsetispeed(&tio, speedFromRate(rate));
    ::cfsetospeed(&tio, speedFromRate(rate));
    if (::tcsetattr(m_slave, TCSANOW, &tio) != 0) {
        *error = systemError("tcsetattr");
        return false;
    }

    const int flags = ::fcntl(m_master, F_GETFL);
    if (flags < 0 || ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0) {
        *error = systemError("fcntl O_NONBLOCK");
        return false;
    }
    return true;
}

int PtyEndpoint::hostRate() const
{
    termios tio{};
    if (m_slave < 0 || ::tcgetattr(m_slave, &tio) != 0)
        return 0;
    const speed_t out = ::cfgetospeed(&tio);
    speed_t in = ::cfgetispeed(&tio);
    if (in == B0)
        in = out;
    if (in != out)
        return -1;
    return rateFromSpeed(out);
}

} // namespace vexa::sim
