// vexactl - a whole-memory command as one memory job (see memoryrun.h).
#include "memoryrun.h"

#include <cstdio>
#include <unistd.h>

#include "core/util/regularfile.h"
#include "ctl/terminal.h"

namespace vexa::ctl {

namespace {

// The largest dump: 256 blocks of 32 bytes as JSON text, with room to spare.
constexpr qint64 kLargestDump = 1 << 20;

bool isBin(const QString &path)
{
    return path.endsWith(QStringLiteral(".bin"), Qt::CaseInsensitive);
}

} // namespace

QString loadReference(Action &action)
{
    const RegularFileRead read = readRegularFile(action.text, kLargestDump);
    if (read.status != RegularFileRead::Status::Read)
        return QStringLiteral("%1: %2").arg(shownText(action.text), read.reason);
    // A .bin holds no block size: ISO/IEC 15693 files are taken as 4-byte
    // blocks (a tag with 8-byte blocks is dumped as JSON).
    const tagdump::Decoded decoded = isBin(action.text)
                                         ? tagdump::fromBin(read.bytes, 4, action.memory.family)
                                         : tagdump::fromJson(read.bytes);
    if (!decoded.error.isEmpty())
        return QStringLiteral("%1: %2").arg(shownText(action.text), decoded.error);
    action.memory.reference = decoded.dump;
    return {};
}

int exitCodeFor(const MemoryJobResult &result)
{
    switch (result.outcome) {
    case MemoryJobResult::Outcome::Done: return ExitOk;
    case MemoryJobResult::Outcome::Refused: return ExitUsage;
    case MemoryJobResult::Outcome::Failed:
        return result.linkFailed ? ExitNoDevice : result.noAnswer ? ExitNoAnswer : ExitReaderError;
    case MemoryJobResult::Outcome::Differs:
    case MemoryJobResult::Outcome::Cancelled: return ExitReaderError;
    }
    return ExitReaderError;
}

MemoryRun::MemoryRun(ReaderSession &session, const Invocation &invocation, std::function<void(int)> done)
    : m_invocation(invocation), m_job(session, invocation.action->memory), m_done(std::move(done))
{
    if (invocation.frames)
        connect(&session, &ReaderSession::messageLine, this, [](const QString &line) { printError(line); });
    // Progress only where a person watches: a log of standard error gets
    // the result, not a line per block.
    if (isatty(STDERR_FILENO)) {
        connect(&m_job, &MemoryJob::progress, this, [this](int, int, const QString &text) {
            if (text == QLatin1String("done")) {
                if (m_progressShown)
                    fputs("\r\033[K", stderr);
                return;
            }
            m_progressShown = true;
            fprintf(stderr, "\r\033[K%s", qPrintable(printableText(text)));
            fflush(stderr);
        });
    }
    connect(&m_job, &MemoryJob::finished, this, &MemoryRun::onFinished);
}

void MemoryRun::onFinished(const MemoryJobResult &result)
{
    if (m_invocation.json)
        printOut(memoryJobJson(result) + '\n');
    else
        printOut((memoryJobLines(result).join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    int code = exitCodeFor(result);
    m_reason = result.reason;
    QList<int> unread;
    for (int b = 0; b < result.dump.blocks.size(); ++b)
        if (!result.dump.blocks[b].isRead())
            unread << b;
    const QString out = m_invocation.action->text;
    if (result.kind == MemoryJobInput::Kind::Dump && code == ExitOk) {
        if (!out.isEmpty()) {
            const tagdump::Encoded encoded = isBin(out) ? tagdump::toBin(result.dump) : tagdump::toJson(result.dump);
            const QString problem =
                encoded.refusal.isEmpty() ? replaceFile(out, encoded.bytes) : encoded.refusal;
            if (!problem.isEmpty()) {
                m_reason = QStringLiteral("%1 not written: %2").arg(shownText(out), problem);
                return m_done(ExitUsage);
            }
        }
        // The dump stands (a JSON file says what is missing), but it is not whole.
        if (!unread.isEmpty()) {
            QStringList numbers;
            for (int b : unread)
                numbers << QString::number(b);
            m_reason = QStringLiteral("blocks %1 could not be read").arg(numbers.join(QStringLiteral(", ")));
            code = ExitReaderError;
        }
    }
    m_done(code);
}

} // namespace vexa::ctl
