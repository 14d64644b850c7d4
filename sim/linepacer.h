// vexa-sim - writing to the line no faster than the line rate allows.
//
// A byte takes 10 bit times (start bit, 8 data bits, stop bit), so a 20-byte
// frame at 38400 baud takes about 5 ms. The pacer hands bytes to its sink as
// their last bit would have been sent, driven by a 1 ms timer; pauses and
// rate changes queue behind the bytes so that a reply goes out at the rate
// it was asked at and the rate changes after its last byte. A hold keeps
// what follows it back until a moment on the pacer's clock: an answer the
// reader does not have yet.
#pragma once

#include <deque>
#include <functional>
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace vexa::sim {

class LinePacer : public QObject
{
    Q_OBJECT

public:
    // Writes up to count bytes; returns how many it took (0: try again
    // later) or -1 when the line is gone, which drops that job.
    using Sink = std::function<qsizetype(const char *bytes, qsizetype count)>;

    LinePacer(Sink sink, int rate, QObject *parent = nullptr);

    int rate() const { return m_rate; }
    void setRate(int rate);

    void queueBytes(const QByteArray &bytes);
    void queuePause(int ms);
    void queueRateChange(int rate);
    void queueHoldUntil(qint64 ns);
    qint64 nowNs() const { return m_clock.nsecsElapsed(); }
    bool isIdle() const { return m_jobs.empty(); }

signals:
    void rateChanged(int rate);

private:
    struct Job
    {
        enum Kind { Bytes, Pause, Rate, Hold } kind = Bytes;
        QByteArray bytes;
        qint64 value = 0; // pause ms, rate, or the end of a hold in ns
        qsizetype sent = 0;
        qint64 startNs = -1;
    };

    void enqueue(Job job);
    void tick();

    Sink m_sink;
    int m_rate;
    std::deque<Job> m_jobs;
    QTimer m_timer;
    QElapsedTimer m_clock;
};

} // namespace vexa::sim
