// vexa-sim - the reader on its pseudo-terminal, driven by the event loop.
//
// Bytes from the host are understood only while the host's rate (read from
// the slave's line settings at each arrival) equals the reader's line rate;
// otherwise they are discarded, and what the reader sends meanwhile reaches
// the host garbled. Understood bytes are cut into frames, answered by the
// reader model, and the answers are paced onto the line. With air time on,
// an answer is held back until the request would have crossed the line and
// the reader's exchange with its tags (airtime.h) would be over: one
// exchange after the other, as a reader does them.
//
// With tracing on, standard output gets one line per event:
//   rx: <bytes>       a request frame as received
//   air: <n> us       the reader's time on the air for it (air time on)
//   tx: <bytes>       bytes queued for the line (answer, send, frame)
//   quiet: <why>      a request that gets no answer
//   discard: <bytes>  noise, a dropped partial frame, or bytes at a wrong rate
//   garbled: <bytes>  what the host got instead, sent while the rates differ
//   rate: <rate>      the reader's line rate changed
//   loader: <what>    the boot loader's doings (capture, packets, go)
//
// After a reset the boot loader (bootloader.h) listens for a moment; while
// it is in charge, the host's bytes go to it instead of the frame assembler.
// After its go command the application boots for the --boot-time; bytes
// that arrive meanwhile are discarded.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>

#include "bootloader.h"
#include "frameassembler.h"
#include "linepacer.h"
#include "portentry.h"
#include "pty.h"
#include "readermodel.h"

namespace vexa::sim {

struct ControlCommand;
class TagCollection;
class UsbReader;

class Simulator : public QObject
{
    Q_OBJECT

public:
    Simulator(ReaderModel &model, bool tracing, QObject *parent = nullptr);

    // Opens the pseudo-terminal, publishes it as portName and prints the
    // "device:" and "port:" lines. False with a message in *error.
    bool start(const QString &portName, QString *error);
    void stop();

    // Reads control lines from this descriptor (standard input).
    void listen(int fd);
    // The field the "tag" control lines change; not owned.
    void setTags(TagCollection *tags) { m_tags = tags; }
    // The USB reader the "usb" and "autoread" control lines drive; not owned.
    // A reader with USB has its boot loader there.
    void setUsbReader(UsbReader *usb);
    // How long the application takes to start after the go command.
    void setBootMs(int ms) { m_loader.setBootMs(ms); }

signals:
    void quitRequested();

private:
    void readLine();
    void readControl();
    void receive(const QByteArray &bytes);
    void receiveForLoader(const QByteArray &bytes);
    void listenForLoader(const QByteArray &request, const Reply &reply);
    void transmit(const Reply &reply);
    void execute(const QString &line);
    bool apply(const ControlCommand &command, QString *error);
    bool applyTag(const ControlCommand &command, QString *error);
    qsizetype writeToLine(const char *bytes, qsizetype count);
    qint64 lineNs(qsizetype count) const;
    void trace(const QString &line) const;

    ReaderModel &m_model;
    bool m_trace;
    PtyEndpoint m_pty;
    PortEntry m_entry;
    FrameAssembler m_assembler;
    LinePacer m_pacer;
    QElapsedTimer m_clock;
    std::unique_ptr<QSocketNotifier> m_lineNotifier;
    std::unique_ptr<QSocketNotifier> m_controlNotifier;
    QByteArray m_controlText;
    TagCollection *m_tags = nullptr;
    UsbReader *m_usb = nullptr;
    BootLoader m_loader;
    QTimer m_listenTimer;
    qint64 m_inputDoneNs = 0; // when the host's bytes so far would have crossed the line
    qint64 m_airDoneNs = 0;   // when the reader's last exchange with its tags is over
    qint64 m_bootDoneNs = 0;  // until then the application started by the go command boots
};

} // namespace vexa::sim
