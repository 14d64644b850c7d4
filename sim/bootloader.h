// vexa-sim - the reader's boot loader.
//
// After every reset the loader listens for a short moment (kListenMs) for the
// capture character "A"; answered with 0A 21 0D it stays in charge, else the
// application runs on. Captured, it takes commands between 0A and 0D:
//   W ss <256 hex digits>   one packet of 128 bytes, numbered ss
//   G                       start the received image (leave the loader)
// and answers each packet with 0A 21 0D (stored) or 0A 3F 0D (refused).
// A packet is stored when its number is the one expected (0 first, then +1
// mod 256). The number of the packet stored last is acknowledged again
// without moving on (the host repeats a packet whose answer it missed); a
// packet numbered 0 at any other point starts the image over (the host
// starts again from the first packet); any other number is refused.
// "A" between commands is answered 0A 21 0D again.
//
// Over USB the same loader takes one 64-byte output report per command:
// the capture report (64 x "A"), write reports "W" or "S" (the last), the
// number and 62 data bytes, and the go report "G"; it answers with a
// 64-byte input report that starts with 0A 21 0D or 0A 3F 0D, zeros after.
// The go report is not answered: the device leaves to start the image.
//
// On a --usb reader the loader is reached over USB only (UsbReader): a reset
// makes the device leave and enumerate again as the loader, with 64-byte
// reports, and the go report, or a listening moment without a capture,
// brings the application back.
//
// The model does no I/O and knows no clock: the simulator tells it when a
// reset happened and when the listening moment is over.
//
// Faults, through "loader ..." control lines (see controlHelp()):
//   refuse [n]    the next n packets are refused and not stored
//   drop [n]      the next n packets are stored, their answers lost
//   silent [n]    the next n commands are lost: not carried out, not answered
//   deaf [n]      the next n listening moments pass without answering "A"
//   nakcapture [n]  the next n listening moments answer "A" with 0A 3F 0D
//   late <ms> [n] the answers to the next n packets leave ms late
//   random <refuse %> <drop %> [seed]   each packet refused / answer lost
//                 with these chances (a fixed seed repeats the same run)
//   clear         forget the loader's faults
//   state         print "loader: <summary>"
//   boot <ms>     the application takes ms to start after the go command
//                 (--boot-time); the simulator loses what the host sends
//                 meanwhile
#pragma once

#include <cstdint>
#include <QByteArray>
#include <QList>
#include <QRandomGenerator>
#include <QString>

namespace vexa::sim {

class BootLoader
{
public:
    static constexpr int kListenMs = 500;
    static constexpr int kMaxCommand = 300;
    static constexpr int kMaxBootMs = 600000;

    enum class Mode { Off, Listening, Captured };

    struct Output
    {
        QByteArray reply;     // empty: nothing to send
        QString note;         // for the trace
        bool started = false; // the go command left the loader
        int delayMs = 0;      // the reply leaves this much later (fault)
    };

    Mode mode() const { return m_mode; }
    bool active() const { return m_mode != Mode::Off; }

    // The reader was reset: listen for the capture character.
    void listen();
    // The listening moment passed without a capture.
    void stopListening();

    // Bytes from the host while active; one output per command handled.
    // Bytes that follow the go command are the application's: they go to
    // *rest when given.
    QList<Output> feed(const QByteArray &bytes, QByteArray *rest = nullptr);
    // One USB output report while active; the reply is a whole input report.
    Output feedReport(const QByteArray &report);

    // A "loader ..." control line without the word "loader". Lines to print
    // go to *printed; false with a message in *error.
    bool control(const QString &line, QStringList *printed, QString *error);

    // How long the image started by the go command takes to listen.
    int bootMs() const { return m_bootMs; }
    void setBootMs(int ms) { m_bootMs = ms; }

    const QByteArray &image() const { return m_image; }
    int storedPackets() const { return m_stored; }
    int starts() const { return m_starts; }
    const QByteArray &startedImage() const { return m_startedImage; }
    QString summary() const;

    // The reader carried out a reset (answered it with status 0): its boot
    // loader takes over for a moment.
    static bool startsLoader(const QByteArray &request, const QByteArray &reply);

private:
    struct Faults
    {
        int refuse = 0;
        int drop = 0;
        int silent = 0;
        int deaf = 0;
        int nakCapture = 0;
        int late = 0;
        int lateMs = 0;
        int refusePercent = 0;
        int dropPercent = 0;
    };

    Output capture();
    Output go();
    Output command(const QByteArray &text);
    Output packet(const QByteArray &text);
    Output answerPacket(uint8_t sequence, const QByteArray &data);
    Output store(uint8_t sequence, const QByteArray &data);
    bool chance(int percent);

    Mode m_mode = Mode::Off;
    bool m_deafNow = false;
    bool m_nakNow = false;
    bool m_inCommand = false;
    QByteArray m_command;
    QByteArray m_image;
    int m_stored = 0;
    uint8_t m_expected = 0;
    int m_starts = 0;
    QByteArray m_startedImage;
    Faults m_faults;
    int m_bootMs = 0;
    QRandomGenerator m_random{1};
};

} // namespace vexa::sim
