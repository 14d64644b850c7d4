// VexaHost - Go, Repeat and Pause.
#include "commandcycle.h"

#include "core/link/readerlink.h"

namespace vexa {

CommandCycle::CommandCycle(ReaderLink &link, QObject *parent) : QObject(parent), m_link(link)
{
    connect(&m_link, &ReaderLink::exchangeEnded, this, &CommandCycle::onExchangeEnded);
    // Nothing is in flight and nothing will be: Go starts afresh.
    connect(&m_link, &ReaderLink::repeatSendFailed, this, [this] { setState(State::Idle); });
}

void CommandCycle::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void CommandCycle::go(const std::function<void()> &send)
{
    m_link.dropStoredFrame();
    if (m_state == State::Repeating) {
        setState(m_link.busy() ? State::Paused : State::Idle);
        return;
    }
    setState(m_repeatMode ? State::Repeating : State::Waiting);
    send();
    // A page that refused its input (or a write that failed for good) sent
    // nothing to wait for. A cycle stays: the operator ends it with Pause.
    if (m_state == State::Waiting && !m_link.busy())
        setState(State::Idle);
}

void CommandCycle::setRepeatMode(bool on)
{
    m_repeatMode = on;
    m_link.setRepeat(on);
    if (!on && m_state == State::Repeating) {
        m_link.dropStoredFrame();
        setState(m_link.busy() ? State::Paused : State::Idle);
    }
    emit repeatModeChanged(on);
}

void CommandCycle::pause()
{
    if (m_state != State::Repeating)
        return;
    m_link.dropStoredFrame();
    setState(m_link.busy() ? State::Paused : State::Idle);
}

void CommandCycle::setInterval(int ms)
{
    m_link.setRepeatInterval(ms);
}

int CommandCycle::interval() const
{
    return m_link.repeatInterval();
}

void CommandCycle::onExchangeEnded()
{
    if ((m_state == State::Waiting || m_state == State::Paused) && !m_link.busy())
        setState(State::Idle);
}

} // namespace vexa
