// vexa-sim's USB reader: what travels on its Unix socket.
//
// $XDG_CONFIG_HOME/Kestrune/VexaHost/usb/reader (~/.config when the
// variable is unset or not absolute): a stream socket, one client at a time
// (a new client replaces the old). Every message is 65 bytes: a kind byte and
// a 64-byte body. A report fills the start of the body, as many bytes as the
// device's report size; the rest is zero.
//
//   simulator -> library
//     'S'  state: [0] 1 present / 0 gone, [1..2] vendor ID, [3..4] product ID
//          (low byte first), [5] report size in bytes (16 for the reader's
//          application, 64 for its boot loader); sent on connect and each
//          time the device goes or (re)appears
//     'R'  one input report
//   library -> simulator
//     'W'  one output report
//     'F'  one feature report (taken and ignored)
#pragma once

#include <cstdlib>
#include <string>

namespace vexa::simusb {

constexpr int kBodySize = 64;
constexpr int kDefaultReportSize = 16;
constexpr int kMessageSize = 1 + kBodySize;
constexpr char kState = 'S';
constexpr char kInputReport = 'R';
constexpr char kOutputReport = 'W';
constexpr char kFeatureReport = 'F';

inline std::string socketPath()
{
    const char *config = std::getenv("XDG_CONFIG_HOME");
    std::string base = config && config[0] == '/' ? config : std::string();
    if (base.empty()) {
        const char *home = std::getenv("HOME");
        base = std::string(home ? home : "") + "/.config";
    }
    return base + "/Kestrune/VexaHost/usb/reader";
}

} // namespace vexa::simusb
