// VexaHost - Go, Repeat and Pause as one state machine over the link.
//
//   Idle       nothing in flight; Go sends the page's command
//   Waiting    one command is out and its answer (or time-out) is awaited
//   Repeating  Repeat was on when Go was pressed: every answer sends the
//              stored frame again; Go now reads "Pause"
//   Paused     Pause (or Repeat off) during a cycle: the answer still in
//              flight is reported, nothing more is sent
//
// A re-send the interface refuses ends a cycle (Idle).
//
// Repeat mode (F6) is a switch of its own: it only decides whether the next
// Go starts a cycle, and turning it off ends a cycle under way.
#pragma once

#include <functional>
#include <QObject>

namespace vexa {

class ReaderLink;

class CommandCycle : public QObject
{
    Q_OBJECT
public:
    enum class State { Idle, Waiting, Repeating, Paused };
    Q_ENUM(State)

    explicit CommandCycle(ReaderLink &link, QObject *parent = nullptr);

    State state() const { return m_state; }
    bool repeating() const { return m_state == State::Repeating; }
    bool repeatMode() const { return m_repeatMode; }

    // Go or Pause. The stored frame is dropped either way, so a cycle still
    // running cannot re-send it; `send` builds and sends the page's command
    // unless this Go was a Pause.
    void go(const std::function<void()> &send);
    // Pause alone: a cycle under way ends after the answer in flight;
    // nothing happens otherwise.
    void pause();
    void setRepeatMode(bool on);
    // The time between an answer and the cycle's next send (0: at once).
    void setInterval(int ms);
    int interval() const;

signals:
    void stateChanged(vexa::CommandCycle::State state);
    void repeatModeChanged(bool on);

private:
    void setState(State state);
    // An exchange has ended (answer, bad block or time-out).
    void onExchangeEnded();

    ReaderLink &m_link;
    State m_state = State::Idle;
    bool m_repeatMode = false;
};

} // namespace vexa
