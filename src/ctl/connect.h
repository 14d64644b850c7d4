// vexactl - opening the interface: the USB reader, a COM port or a serial
// device, as the command line or the window's stored settings name it.
#pragma once

namespace vexa {
class ReaderSession;
struct StoredSettings;
}

namespace vexa::ctl {

struct Connection;
class TerminalPrompt;

// Opens the interface the command line or the stored settings name; false
// (with the reason on standard error) when it is not there.
bool connectReader(ReaderSession &session, TerminalPrompt &prompt, const Connection &c, const StoredSettings &stored);

} // namespace vexa::ctl
