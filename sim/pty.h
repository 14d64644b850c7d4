// vexa-sim - the reader's end of a pseudo-terminal.
//
// The host opens the slave side like any serial port. The simulator keeps
// the slave open as well: the master then never reads EIO when the host
// closes its port, and the slave's line settings, which the host sets, can
// be read at any time to learn the host's rate.
#pragma once

#include <QString>

namespace vexa::sim {

// The rate of a termios speed constant, 0 for one we do not know.
int rateFromSpeed(unsigned speed);
// The termios speed constant of a rate, 0 (B0) for one we do not know.
unsigned speedFromRate(int rate);

class PtyEndpoint
{
public:
    PtyEndpoint() = default;
    ~PtyEndpoint();
    PtyEndpoint(const PtyEndpoint &) = delete;
    PtyEndpoint &operator=(const PtyEndpoint &) = delete;

    // Opens the pair, puts the slave in raw mode at `rate`, 8N1, no flow
    // control. On failure returns false with a message in *error.
    bool open(int rate, QString *error);

    int masterFd() const { return m_master; }
    const QString &slavePath() const { return m_slavePath; }

    // The host's current rate, from the slave's line settings: 0 when they
    // cannot be read or name no rate we know, -1 when the input and output
    // speeds differ (the host then understands nobody).
    int hostRate() const;

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};

} // namespace vexa::sim
