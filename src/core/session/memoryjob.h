// VexaHost - a tag's whole memory as one job on the reader session: dump,
// restore, verify, and an NDEF message read or written. The job sends its
// commands one at a time through ReaderSession::send and takes each answer
// from answered(); it decodes no frame (the codecs' reports carry the
// values as fields). Every front end shows a result with the same lines
// and JSON, made here.
//
// A job owns the session while it runs: nothing else should send meanwhile
// (an answer to another command would be taken as the job's).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include "core/codecs/ndef.h"
#include "core/codecs/tagdump.h"

namespace vexa {

class ReaderSession;
struct Answer;

struct MemoryJobInput
{
    enum class Kind { Dump, Restore, Verify, NdefRead, NdefWrite };
    Kind kind = Kind::Dump;
    tagdump::Family family = tagdump::Family::Iso15693;
    // The tag: an ISO/IEC 15693 UID or a Tag-it address, as shown. Empty:
    // the one tag in the field (an inventory first; none or several refuse).
    QString tag;
    // Restore and Verify: the dump to write or compare with.
    tagdump::TagDump reference;
    tagdump::RestoreOptions restore;
    // NdefWrite: the NDEF message (records, not yet a TLV), and whether to
    // write a new capability container first.
    QByteArray ndefMessage;
    bool format = false;
};

QString memoryJobName(MemoryJobInput::Kind kind); // "dump", "restore", ...

struct MemoryJobResult
{
    enum class Outcome {
        Done,      // dumped; restored and read back equal; verified equal; NDEF read or written
        Differs,   // the tag differs from the dump (Verify), or a block read back differs
        Refused,   // refused before anything was written: the reason says why
        Failed,    // an exchange failed (no tag, a reader error, the link)
        Cancelled  // cancel() before the end; what was done so far is listed
    };
    MemoryJobInput::Kind kind = MemoryJobInput::Kind::Dump;
    Outcome outcome = Outcome::Done;
    QString reason;
    // Failed: the last exchange went unanswered (or the answer was unsound),
    // or the interface would not send at all.
    bool noAnswer = false;
    bool linkFailed = false;
    // The tag as last read: Dump, Verify and NDEF the read; Restore and
    // NdefWrite the read before writing, with the blocks read back put in.
    tagdump::TagDump dump;
    QList<int> written;   // blocks written (and read back)
    QList<int> skipped;   // differing but locked: not written
    QList<int> differing; // Verify: differ from the dump; writes: read back wrong
    QStringList notes;    // a restore plan's notes, unread blocks and the like
    // NdefRead, NdefWrite: the message on the tag (NdefWrite: as read back).
    std::optional<ndef::TagContent> ndef;

    bool succeeded() const { return outcome == Outcome::Done; }
};

QString outcomeName(MemoryJobResult::Outcome outcome); // "done", "differs", ...

// The words every front end shows for a result, top to bottom.
QStringList memoryJobLines(const MemoryJobResult &result);
// One line of JSON without its newline (vexactl --json); fields in vexactl(1).
QByteArray memoryJobJson(const MemoryJobResult &result);

class MemoryJob : public QObject
{
    Q_OBJECT
public:
    MemoryJob(ReaderSession &session, const MemoryJobInput &input, QObject *parent = nullptr);
    ~MemoryJob() override;

    const MemoryJobInput &input() const { return m_input; }
    bool running() const { return m_running; }

    // Sends the first command; finished() follows exactly once (also for a
    // refusal found before anything was sent, from the event loop).
    void start();
    // Stops after the exchange in flight; finished() with Cancelled.
    void cancel();

signals:
    // `done` of `total` steps; `text` such as "block 12 of 64".
    void progress(int done, int total, const QString &text);
    void finished(const vexa::MemoryJobResult &result);

private:
    void queueInventory();
    void queueSystemInformation();
    void queueIsoBlockReads(int first, int count, bool locks);
    void takeBlocks(const Answer &answer, int first, int n, int size);
    void queueTagitRead();
    void queueTagitBlockReads(int first, int count);
    void takeTagitBlocks(const Answer &answer, int first, int n);
    void afterDump();
    QByteArray readPrefix() const;
    void planRestore();
    void planNdefWrite();
    void queueWrites(const QList<ndef::BlockWrite> &writes);
    void queueReadBack();
    void queueLocks();
    void finishWrites();
    void next();
    void runStep(const std::function<void(const vexa::Answer &)> &handler, const vexa::Answer &answer);
    void onAnswered(const vexa::Answer &answer);
    void finish(MemoryJobResult::Outcome outcome, const QString &reason = {});

    struct Private;
    std::unique_ptr<Private> d;
    const MemoryJobInput m_input;
    bool m_running = false;
};

} // namespace vexa
