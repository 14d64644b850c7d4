// vexa-sim's USB reader: what travels on its Unix socket.
//
// $XDG_CONFIG_HOME/Kestrune/VexaHost/usb/reader (~/.config when the
// variable is unset or not absolute): a stream socket, one client at a time
// (a new client replaces the old). Every message is 17 bytes: a kind byte and
// a 16-byte body.
//
//   simulator -> library
//     'S'  state: [0] 1 plugged / 0 unplugged, [1..2] vendor ID, [3..4]
//          product ID (low byte first); sent on connect and on each change
//     'R'  one input report
//   library -> simulator
//     'W'  one output report
//     'F'  one feature report (taken and ignored)
#pragma once

#include <cstdlib>
#include <string>

namespace vexa::simusb {

constexpr int kBodySize = 16;
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
