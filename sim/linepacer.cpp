// vexa-sim - writing to the line no faster than the line rate allows.
#include "linepacer.h"

#include <algorithm>

namespace vexa::sim {

namespace {
constexpr qint64 kBitsPerByte = 10;
constexpr qint64 kNsPerSecond = 1000000000;
} // namespace

LinePacer::LinePacer(Sink sink, int rate, QObject *parent)
    : QObject(parent), m_sink(std::move(sink)), m_rate(rate)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(1);
    connect(&m_timer, &QTimer::timeout, this, &LinePacer::tick);
    m_clock.start();
}

void LinePacer::setRate(int rate)
{
    if (rate == m_rate)
        return;
    m_rate = rate;
    emit rateChanged(rate);
}

void LinePacer::queueBytes(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    Job job;
    job.bytes = bytes;
    enqueue(std::move(job));
}

void LinePacer::queuePause(int ms)
{
    Job job;
    job.kind = Job::Pause;
    job.value = ms;
    enqueue(std::move(job));
}

void LinePacer::queueRateChange(int rate)
{
    Job job;
    job.kind = Job::Rate;
    job.value = rate;
    enqueue(std::move(job));
}

void LinePacer::queueHoldUntil(qint64 ns)
{
    Job job;
    job.kind = Job::Hold;
    job.value = ns;
    enqueue(std::move(job));
}

void LinePacer::enqueue(Job job)
{
    m_jobs.push_back(std::move(job));
    if (!m_timer.isActive())
        m_timer.start();
}

void LinePacer::tick()
{
    while (!m_jobs.empty()) {
        Job &job = m_jobs.front();
        const qint64 now = m_clock.nsecsElapsed();
        if (job.startNs < 0)
            job.startNs = now;
        const qint64 elapsed = now - job.startNs;

        if (job.kind == Job::Rate) {
            setRate(int(job.value));
        } else if (job.kind == Job::Pause) {
            if (elapsed < job.value * 1000000)
                break;
        } else if (job.kind == Job::Hold) {
            if (now < job.value)
                break;
        } else {
            // Bytes whose stop bit has passed by now.
            const qint64 due = std::min<qint64>(job.bytes.size(),
                                                elapsed * m_rate / (kBitsPerByte * kNsPerSecond));
            if (due > job.sent) {
                const qsizetype written = m_sink(job.bytes.constData() + job.sent, due - job.sent);
                if (written < 0) {
                    m_jobs.pop_front();
                    continue;
                }
                job.sent += written;
            }
            if (job.sent < job.bytes.size())
                break;
        }
        m_jobs.pop_front();
    }
    if (m_jobs.empty())
        m_timer.stop();
}

} // namespace vexa::sim
