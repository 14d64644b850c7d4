// VexaHost - the memory job (see memoryjob.h).
#include "memoryjob.h"

#include "core/session/readersession.h"

namespace vexa {

struct MemoryJob::Private
{
};

MemoryJob::MemoryJob(ReaderSession &session, const MemoryJobInput &input, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>()), m_input(input)
{
    Q_UNUSED(session);
}

MemoryJob::~MemoryJob() = default;

void MemoryJob::start() {}
void MemoryJob::cancel() {}

QString memoryJobName(MemoryJobInput::Kind) { return {}; }
QString outcomeName(MemoryJobResult::Outcome) { return {}; }
QStringList memoryJobLines(const MemoryJobResult &) { return {}; }
QByteArray memoryJobJson(const MemoryJobResult &) { return {}; }

} // namespace vexa
