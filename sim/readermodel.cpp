// vexa-sim - request validation, addressing, faults and the reply frame.
// The commands themselves are in readercommands.cpp.
#include "readermodel.h"

#include <cstring>
#include <QStringList>

#include "core/wire/framecheck.h"
#include "wire.h"

namespace vexa::sim {

namespace {

constexpr int kRates[] = {9600, 19200, 38400, 57600};

Reply quiet(const QString &why)
{
    Reply reply;
    reply.note = why;
    return reply;
}

} // namespace

int baudRateForCode(int code)
{
    return (code >= 0 && code < 4) ? kRates[code] : 0;
}

int baudCodeForRate(int rate)
{
    for (int code = 0; code < 4; ++code)
        if (kRates[code] == rate)
            return code;
    return -1;
}

QByteArray ReaderModel::responseFrame(uint8_t status, uint8_t code, const QByteArray &payload)
{
    return replyFrame(status, code, payload);
}

Reply ReaderModel::handle(const QByteArray &request)
{
    const int n = int(request.size());
    if (n < kMinimumFrame || lengthField(request) != n)
        return quiet(QStringLiteral("not a frame: length field does not match"));
    const auto *frame = reinterpret_cast<const uint8_t *>(request.constData());

    Request parsed;
    parsed.flags = frame[4];
    parsed.code = frame[5];
    int parameterStart = 6;

    // Checked before the frame check: on a line shared by several readers,
    // a damaged frame meant for another reader must not draw answers from all.
    if (parsed.flags & kAddressedFlag) {
        if (n < kMinimumFrame + kAddressFieldSize)
            return quiet(QStringLiteral("addressed frame too short for its address field"));
        const auto own = addressFieldFor(m_state.serialNumber);
        if (std::memcmp(request.constData() + 6, own.data(), own.size()) != 0)
            return quiet(QStringLiteral("addressed to another reader"));
        parameterStart += kAddressFieldSize;
    }

    if (m_faults.silentCount > 0) {
        --m_faults.silentCount;
        return quiet(QStringLiteral("silent (fault)"));
    }

    const uint16_t check = computeFrameCheck(frame, n - 2);
    if (frame[n - 2] != (check & 0xFF) || frame[n - 1] != (check >> 8)) {
        Outcome outcome;
        outcome.answer = {2, QByteArray(1, char(kBadCheck))};
        return finish(parsed.code, outcome);
    }

    parsed.parameters = request.mid(parameterStart, n - 2 - parameterStart);

    // A reader that reports an error has not carried the command out.
    if (m_faults.statusCount > 0) {
        --m_faults.statusCount;
        Outcome outcome;
        outcome.answer = {m_faults.status, QByteArray(1, char(m_faults.errorCode))};
        return finish(parsed.code, outcome);
    }
    return finish(parsed.code, execute(parsed));
}

ReaderModel::Outcome ReaderModel::execute(const Request &request)
{
    const Handler handler = handlerFor(request.code);
    if (!handler) {
        Outcome outcome;
        outcome.answer = {2, QByteArray(1, char(kNotSupported))};
        return outcome;
    }
    ++m_state.lifetimeCount;
    return (this->*handler)(request);
}

Reply ReaderModel::finish(uint8_t code, const Outcome &outcome)
{
    QByteArray frame = responseFrame(outcome.answer.status, code, outcome.answer.payload);
    if (m_faults.badCheckCount > 0) {
        --m_faults.badCheckCount;
        // Low byte flipped: neither the XOR nor the complement holds.
        frame[frame.size() - 2] = char(frame[frame.size() - 2] ^ 0xFF);
    }

    Reply reply;
    reply.bytes = m_faults.stray + frame;
    if (m_faults.gapMs > 0) {
        reply.gapAt = int(m_faults.stray.size() + frame.size() / 2);
        reply.gapMs = m_faults.gapMs;
    }
    reply.baudAfter = outcome.baudAfter;
    reply.airUs = outcome.airUs;
    m_faults.stray.clear();
    m_faults.gapMs = 0;
    return reply;
}

bool ReaderModel::setSerialNumber(const QByteArray &text)
{
    if (text.isEmpty() || text.size() > 8)
        return false;
    for (char c : text)
        if (c < 0x21 || c > 0x7E)
            return false;
    m_state.serialNumber = text;
    return true;
}

bool ReaderModel::setBaudRate(int rate)
{
    if (baudCodeForRate(rate) < 0)
        return false;
    m_state.baudRate = rate;
    return true;
}

QString ReaderModel::summary() const
{
    const auto onOff = [this](uint8_t bit) {
        return (m_state.readerFlags & bit) ? QStringLiteral("on") : QStringLiteral("off");
    };
    const auto hex = [](int value) { return QString::asprintf("%02X", value); };
    QString wiegand = QStringLiteral("off");
    if (m_state.wiegandOutput == kWiegandReportsUid)
        wiegand = QStringLiteral("uid");
    else if (m_state.wiegandOutput == kWiegandReportsData)
        wiegand = QStringLiteral("data");

    // Built by concatenation: the serial number text may hold a '%'.
    const QStringList fields = {
        QStringLiteral("serial=") + QString::fromLatin1(m_state.serialNumber),
        QStringLiteral("firmware=%1.%2").arg(m_state.firmwareMajor).arg(m_state.firmwareMinor, 2, 10, QLatin1Char('0')),
        QStringLiteral("baud=%1").arg(m_state.baudRate),
        QStringLiteral("rf=") + onOff(kRfOn),
        QStringLiteral("led=") + onOff(kLedOn),
        QStringLiteral("audio=") + onOff(kAudioOn),
        QStringLiteral("wiegand=") + wiegand,
        QStringLiteral("family=") + hex(m_state.readerFlags & kFamilyMask),
        QStringLiteral("format=") + hex(m_state.wiegandFormat),
        QStringLiteral("afi=") + hex(m_state.afi),
        QStringLiteral("encryption=") + hex(m_state.encryption),
        QStringLiteral("lifetime=%1").arg(m_state.lifetimeCount),
        QStringLiteral("fault-status=%1").arg(m_faults.statusCount),
        QStringLiteral("fault-badcheck=%1").arg(m_faults.badCheckCount),
        QStringLiteral("fault-silent=%1").arg(m_faults.silentCount),
        QStringLiteral("fault-keeprate=%1").arg(m_faults.keepRateCount),
        QStringLiteral("fault-stray=%1").arg(m_faults.stray.size()),
        QStringLiteral("fault-gap=%1").arg(m_faults.gapMs),
        QStringLiteral("air-time=") + (m_state.airTime ? QStringLiteral("on") : QStringLiteral("off")),
    };
    return fields.join(QLatin1Char(' '));
}

} // namespace vexa::sim
