// vexactl - a whole-memory command (dump, restore, verify, NDEF) as one
// memory job on the session: the dump file read before the port opens, the
// result printed as lines or one JSON object, a dump written with --out.
#pragma once

#include <functional>
#include <QObject>
#include <QString>

#include "core/session/memoryjob.h"
#include "core/session/readersession.h"
#include "ctl/commandline.h"

namespace vexa::ctl {

// Restore and verify: reads the dump named in `action.text` into
// `action.memory.reference`. The reason it cannot, or an empty text.
QString loadReference(Action &action);

// The exit status of a result (0 only for Done).
int exitCodeFor(const MemoryJobResult &result);

class MemoryRun : public QObject
{
public:
    // `done` is called once with the exit status.
    MemoryRun(ReaderSession &session, const Invocation &invocation, std::function<void(int)> done);

    void start() { m_job.start(); }
    // Ctrl-C or SIGTERM: the job stops after the exchange in flight.
    void requestStop() { m_job.cancel(); }
    QString reason() const { return m_reason; }

private:
    void onFinished(const MemoryJobResult &result);

    const Invocation &m_invocation;
    MemoryJob m_job;
    std::function<void(int)> m_done;
    QString m_reason;
    bool m_progressShown = false;
};

} // namespace vexa::ctl
