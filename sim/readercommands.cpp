// vexa-sim - what the reader does for each command code.
//
// Set configuration 0xED, sub-command in the first parameter byte:
//   03 / 04        RF transmitter off / on
//   07 bits        LED (0x04) and audio (0x08) feedback
//   09 0A 0B fmt afi   Wiegand output for ISO 14443-A / ISO 15693 / Tag-it:
//                  format 0x01 reports tag data, every other format the UID
//   0C fmt afi     Wiegand output off
//   0E..11         line rate 9600, 19200, 38400, 57600: answered at the old
//                  rate, the new one applies from the next byte on
// Set encryption 0xEC: option bits, 8 key bytes. Activate LED 0xEE: 0,
// colour, time u16. Activate audio 0xEF: 0, time u16 (times in 5 ms units).
// A command whose parameters are too short is refused with code 0x04.
#include "readermodel.h"

#include "wire.h"

namespace vexa::sim {

namespace {

constexpr uint8_t kTestCode = 0x26;
constexpr uint8_t kImageReaderFirmware = 7;
constexpr uint8_t kGenerationVexaIII = 1;
constexpr uint8_t kInterfaceComPort = 1;
constexpr uint8_t kInterfaceUsb = 2;
constexpr uint8_t kAsicTi7960 = 3;

Answer ok(const QByteArray &payload = {})
{
    return {0, payload};
}

Answer refused(uint8_t code)
{
    return {2, QByteArray(1, char(code))};
}

QByteArray serialText(const QByteArray &serial, int width)
{
    QByteArray text = serial.left(width);
    text.append(QByteArray(width - int(text.size()), '\0'));
    return text;
}

QByteArray u16(int value)
{
    QByteArray bytes(2, '\0');
    bytes[0] = char(value & 0xFF);
    bytes[1] = char((value >> 8) & 0xFF);
    return bytes;
}

uint8_t byteAt(const QByteArray &bytes, int i)
{
    return uint8_t(bytes.at(i));
}

} // namespace

ReaderModel::Handler ReaderModel::handlerFor(uint8_t code) const
{
    static const struct
    {
        uint8_t code;
        Handler handler;
    } table[] = {
        {0xE0, &ReaderModel::version},       {0xE3, &ReaderModel::loaderInfo},
        {0xE5, &ReaderModel::reset},         {0xE6, &ReaderModel::diagnostics},
        {0xE7, &ReaderModel::readSetup},     {0xEB, &ReaderModel::readInformation},
        {0xEC, &ReaderModel::setEncryption}, {0xED, &ReaderModel::setConfiguration},
        {0xEE, &ReaderModel::activateLed},   {0xEF, &ReaderModel::activateAudio},
    };
    if (code == kTestCode)
        return &ReaderModel::readerTest;
    if (code < kFirstManagementCode)
        return &ReaderModel::tagCommand;
    for (const auto &entry : table)
        if (entry.code == code)
            return entry.handler;
    return nullptr;
}

ReaderModel::Outcome ReaderModel::version(const Request &)
{
    QByteArray payload;
    payload.append(char(m_state.firmwareMinor));
    payload.append(char(m_state.firmwareMajor));
    payload.append(char(kImageReaderFirmware));
    payload.append(char(kGenerationVexaIII));
    payload.append(serialText(m_state.serialNumber, 8));
    return {ok(payload)};
}

ReaderModel::Outcome ReaderModel::loaderInfo(const Request &)
{
    QByteArray payload;
    payload.append(char(m_state.firmwareMinor));
    payload.append(char(m_state.firmwareMajor));
    const char interface = char(m_state.usbLoader ? kInterfaceUsb : kInterfaceComPort);
    payload.append(interface); // the boot loader's
    payload.append(interface); // the application's
    payload.append(char(kAsicTi7960));
    return {ok(payload)};
}

ReaderModel::Outcome ReaderModel::reset(const Request &)
{
    // The configuration lives in the reader's non-volatile memory: a reset
    // restarts the firmware and keeps it.
    return {ok()};
}

ReaderModel::Outcome ReaderModel::diagnostics(const Request &)
{
    QByteArray payload;
    payload.append(char(0x00)); // self-test passed
    payload.append(char(m_state.readerFlags & kRfOn));
    payload.append(char(0x01)); // antenna connected
    payload.append(char(50));   // supply 5.0 V in 0.1 V
    return {ok(payload)};
}

ReaderModel::Outcome ReaderModel::readSetup(const Request &)
{
    QByteArray payload;
    payload.append(char(m_state.wiegandOutput));
    payload.append(char(m_state.readerFlags));
    payload.append(char(baudCodeForRate(m_state.baudRate)));
    payload.append(char(m_state.afi));
    payload.append(char(m_state.encryption));
    return {ok(payload)};
}

ReaderModel::Outcome ReaderModel::readInformation(const Request &)
{
    QByteArray payload = serialText(m_state.serialNumber, 7);
    payload.append('\0');
    payload.append(u16(m_state.lifetimeCount));
    payload.append(u16(m_state.firmwareMajor * 100 + m_state.firmwareMinor));
    return {ok(payload)};
}

ReaderModel::Outcome ReaderModel::setEncryption(const Request &request)
{
    const QByteArray &p = request.parameters;
    if (p.size() < 9)
        return {refused(kUndefinedError)};
    m_state.encryption = byteAt(p, 0) & 0x03;
    for (int i = 0; i < 8; ++i)
        m_state.userKey[size_t(i)] = byteAt(p, 1 + i);
    return {ok()};
}

ReaderModel::Outcome ReaderModel::setConfiguration(const Request &request)
{
    const QByteArray &p = request.parameters;
    if (p.isEmpty())
        return {refused(kUndefinedError)};
    const uint8_t sub = byteAt(p, 0);
    uint8_t &flags = m_state.readerFlags;
    switch (sub) {
    case 0x03:
        flags &= uint8_t(~kRfOn);
        return {ok()};
    case 0x04:
        flags |= kRfOn;
        return {ok()};
    case 0x07:
        if (p.size() < 2)
            return {refused(kUndefinedError)};
        flags = uint8_t((flags & ~(kLedOn | kAudioOn)) | (byteAt(p, 1) & (kLedOn | kAudioOn)));
        return {ok()};
    case 0x09:
    case 0x0A:
    case 0x0B:
    case 0x0C: {
        if (p.size() < 3)
            return {refused(kUndefinedError)};
        static const uint8_t families[] = {0x10, 0x20, 0x40, 0x00};
        const uint8_t format = byteAt(p, 1);
        m_state.wiegandFormat = format;
        m_state.afi = byteAt(p, 2);
        flags = uint8_t((flags & ~kFamilyMask) | families[sub - 0x09]);
        if (sub == 0x0C)
            m_state.wiegandOutput = 0;
        else
            m_state.wiegandOutput = format == 0x01 ? kWiegandReportsData : kWiegandReportsUid;
        return {ok()};
    }
    case 0x0E:
    case 0x0F:
    case 0x10:
    case 0x11: {
        if (m_faults.keepRateCount > 0) {
            // A reader whose firmware ignores the change: it agrees, and
            // goes on listening at the old rate.
            --m_faults.keepRateCount;
            return {ok()};
        }
        const int rate = baudRateForCode(sub - 0x0E);
        m_state.baudRate = rate;
        return {ok(), rate};
    }
    default:
        return {refused(kNotSupported)};
    }
}

ReaderModel::Outcome ReaderModel::activateLed(const Request &request)
{
    const QByteArray &p = request.parameters;
    if (p.size() < 4)
        return {refused(kUndefinedError)};
    m_state.ledColour = byteAt(p, 1);
    m_state.ledTime = byteAt(p, 2) | (byteAt(p, 3) << 8);
    return {ok()};
}

ReaderModel::Outcome ReaderModel::activateAudio(const Request &request)
{
    const QByteArray &p = request.parameters;
    if (p.size() < 3)
        return {refused(kUndefinedError)};
    m_state.audioTime = byteAt(p, 1) | (byteAt(p, 2) << 8);
    return {ok()};
}

ReaderModel::Outcome ReaderModel::readerTest(const Request &)
{
    return {ok()};
}

ReaderModel::Outcome ReaderModel::tagCommand(const Request &request)
{
    // Without the RF field no tag is powered, whatever lies on the antenna.
    if (m_tagField && (m_state.readerFlags & kRfOn)) {
        const TagRequest tagRequest{request.flags, request.code, request.parameters};
        const int airUs = m_state.airTime ? m_tagField->airTimeUs(tagRequest) : 0;
        if (auto answer = m_tagField->answer(tagRequest))
            return {*answer, 0, airUs};
    }
    if (auto none = emptyFieldAnswer(request.code))
        return {*none};
    return {refused(kNoTransponder)};
}

} // namespace vexa::sim
