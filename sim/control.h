// vexa-sim - the control lines read from standard input.
//
//   fault status <status> <code> [count]   next count answers carry that status
//   fault badcheck [count]                 next count answers get a wrong check
//   fault stray <hex bytes>                bytes before the next answer
//   fault gap <ms>                         pause in the middle of the next answer
//   fault silent [count]                   no answer to the next count requests
//   fault keeprate [count]                 the next count baud commands are
//                                          answered, but the rate stays
//   fault clear                            forget every fault
//   send <hex bytes>                       write raw bytes now
//   frame <code> <status> [hex payload]    write a well-formed frame now
//   baud <rate>                            the reader's rate, now
//   serial <text>                          the reader's serial number
//   state                                  one-line summary
//   tag add <tag>                          put a tag in the field (tagline.h)
//   tag remove <id>                        take out the tags with this UID/address
//   tag clear | tag defaults               empty the field / the default tags
//   tag list                               "tag: <tag>" per tag, in field order
//   tag memory <id> empty|cc|ndef [URI]    what the tag's memory holds now
//   tag lock|unlock <id> <LIST>            lock or free these blocks
//   airtime on|off                         answers wait for the tags' air time
//   usb plug | usb unplug                  the USB reader (--usb) in or out
//   usb replug                             it vanishes and enumerates again
//   autoread <text>                        a text record from the USB reader;
//                                          \r and \n stand for line ends
//   loader <what>                          the boot loader's faults and state
//                                          (bootloader.h)
//   quit
//
// Byte values (status, code, hex bytes) are hexadecimal, one or two digits
// with an optional 0x; counts, milliseconds and rates are decimal. Counts
// default to 1; a count of 0 cancels that fault.
#pragma once

#include <cstdint>
#include <optional>
#include <QByteArray>
#include <QString>

namespace vexa::sim {

struct ControlCommand
{
    enum Kind {
        FaultStatus,
        FaultBadCheck,
        FaultStray,
        FaultGap,
        FaultSilent,
        FaultKeepRate,
        FaultClear,
        Send,
        Frame,
        Baud,
        Serial,
        State,
        TagAdd,
        TagRemove,
        TagClear,
        TagDefaults,
        TagList,
        TagChange,
        AirTime,
        UsbPlug,
        UsbUnplug,
        UsbReplug,
        AutoRead,
        Loader,
        Quit,
    };
    Kind kind = State;
    int count = 1;   // the faults' counts
    int value = 0;   // gap ms, baud rate, air time on (1) or off
    uint8_t status = 0;
    uint8_t code = 0;
    QByteArray bytes; // stray, send, frame payload, serial text, auto-read text
    QString text;     // the tag of "tag add", the id of "tag remove" and "tag memory|lock|unlock", a loader line
    QString change;   // "memory ...", "lock LIST" or "unlock LIST" of a tag change (tagline.h)
};

struct ControlParse
{
    std::optional<ControlCommand> command;
    QString error; // set when command is empty and the line was not blank
};

ControlParse parseControlLine(const QString &line);

// Help text for --help.
QString controlHelp();

} // namespace vexa::sim
