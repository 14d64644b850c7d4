// vexa-sim - the reader's boot loader.
#include "bootloader.h"

#include <QCryptographicHash>
#include <QStringList>

namespace vexa::sim {

namespace {

constexpr int kDataBytes = 128;
constexpr int kReportBytes = 64;
const QByteArray kAck("\n!\r");
const QByteArray kNak("\n?\r");

QString hash(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

bool takeOne(int &count)
{
    if (count <= 0)
        return false;
    --count;
    return true;
}

} // namespace

void BootLoader::listen()
{
    m_mode = Mode::Listening;
    m_inCommand = false;
    m_command.clear();
    m_deafNow = takeOne(m_faults.deaf);
    m_nakNow = !m_deafNow && takeOne(m_faults.nakCapture);
}

void BootLoader::stopListening()
{
    if (m_mode == Mode::Listening)
        m_mode = Mode::Off;
}

QList<BootLoader::Output> BootLoader::feed(const QByteArray &bytes, QByteArray *rest)
{
    QList<Output> outputs;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char byte = bytes[i];
        if (m_mode == Mode::Off) {
            if (rest)
                *rest = bytes.mid(i);
            break;
        }
        if (m_mode == Mode::Listening) {
            if (byte == 'A')
                outputs << capture();
            continue;
        }
        if (!m_inCommand) {
            if (byte == '\n') {
                m_inCommand = true;
                m_command.clear();
            } else if (byte == 'A') {
                outputs << Output{kAck, QStringLiteral("loader: capture again"), false};
            }
            continue;
        }
        if (byte == '\r') {
            m_inCommand = false;
            outputs << command(m_command);
            continue;
        }
        if (m_command.size() >= kMaxCommand) {
            // Not a command of ours; wait for the next line feed.
            m_inCommand = false;
            outputs << Output{kNak, QStringLiteral("loader: command too long"), false};
            continue;
        }
        m_command.append(byte);
    }
    return outputs;
}

BootLoader::Output BootLoader::capture()
{
    if (m_deafNow)
        return {{}, QStringLiteral("loader: capture ignored (fault)"), false};
    if (m_nakNow)
        return {kNak, QStringLiteral("loader: capture refused (fault)"), false};
    m_mode = Mode::Captured;
    m_image.clear();
    m_stored = 0;
    m_expected = 0;
    return {kAck, QStringLiteral("loader: captured"), false};
}

BootLoader::Output BootLoader::command(const QByteArray &text)
{
    if (takeOne(m_faults.silent))
        return {{}, QStringLiteral("loader: command lost (fault)"), false};
    if (text == "G")
        return go();
    if (text.startsWith('W'))
        return packet(text);
    return {kNak, QStringLiteral("loader: unknown command"), false};
}

BootLoader::Output BootLoader::go()
{
    m_mode = Mode::Off;
    ++m_starts;
    m_startedImage = m_image;
    return {{}, QStringLiteral("loader: go, %1 bytes sha256=%2").arg(m_image.size()).arg(hash(m_image)), true};
}

BootLoader::Output BootLoader::feedReport(const QByteArray &report)
{
    const auto asReport = [](Output out) {
        if (!out.reply.isEmpty())
            out.reply = out.reply.leftJustified(kReportBytes, '\0');
        return out;
    };
    if (m_mode == Mode::Off || report.isEmpty())
        return {};
    const char command = report[0];
    if (m_mode == Mode::Listening)
        return command == 'A' ? asReport(capture()) : Output{};
    if (command == 'A')
        return asReport({kAck, QStringLiteral("loader: capture again"), false});
    if (takeOne(m_faults.silent))
        return {{}, QStringLiteral("loader: command lost (fault)"), false};
    if (command == 'G')
        return go();
    if ((command == 'W' || command == 'S') && report.size() >= kReportBytes)
        return asReport(answerPacket(uint8_t(report[1]), report.mid(2, kReportBytes - 2)));
    return asReport({kNak, QStringLiteral("loader: unknown report"), false});
}

BootLoader::Output BootLoader::packet(const QByteArray &text)
{
    const QByteArray body = text.mid(1);
    bool valid = body.size() == 2 + 2 * kDataBytes;
    for (char c : body)
        valid = valid && ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'));
    if (!valid)
        return {kNak, QStringLiteral("loader: malformed packet"), false};
    const QByteArray bytes = QByteArray::fromHex(body);
    return answerPacket(uint8_t(bytes[0]), bytes.mid(1));
}

BootLoader::Output BootLoader::answerPacket(uint8_t sequence, const QByteArray &data)
{
    Output out = store(sequence, data);
    if (!out.reply.isEmpty() && takeOne(m_faults.late)) {
        out.delayMs = m_faults.lateMs;
        out.note += QStringLiteral(", answer %1 ms late (fault)").arg(out.delayMs);
    }
    return out;
}

BootLoader::Output BootLoader::store(uint8_t sequence, const QByteArray &data)
{
    const QString number = QStringLiteral("%1").arg(sequence, 2, 16, QLatin1Char('0')).toUpper();

    if (takeOne(m_faults.refuse) || chance(m_faults.refusePercent))
        return {kNak, QStringLiteral("loader: packet %1 refused (fault)").arg(number), false};

    QString what;
    if (sequence == m_expected) {
        m_image.append(data);
        ++m_stored;
        m_expected = uint8_t(m_expected + 1);
        what = QStringLiteral("stored");
    } else if (m_stored > 0 && sequence == uint8_t(m_expected - 1)) {
        m_image.replace(m_image.size() - data.size(), data.size(), data);
        what = QStringLiteral("stored again");
    } else if (sequence == 0) {
        m_image = data;
        m_stored = 1;
        m_expected = 1;
        what = QStringLiteral("stored, image started over");
    } else {
        return {kNak, QStringLiteral("loader: packet %1 refused, expected %2")
                          .arg(number)
                          .arg(m_expected, 2, 16, QLatin1Char('0'))
                          .toUpper(),
                false};
    }
    if (takeOne(m_faults.drop) || chance(m_faults.dropPercent))
        return {{}, QStringLiteral("loader: packet %1 %2, answer lost (fault)").arg(number, what), false};
    return {kAck, QStringLiteral("loader: packet %1 %2").arg(number, what), false};
}

bool BootLoader::startsLoader(const QByteArray &request, const QByteArray &reply)
{
    constexpr uint8_t kReset = 0xE5;
    return request.size() >= 6 && uint8_t(request[5]) == kReset && reply.size() >= 6 && reply[4] == 0;
}

bool BootLoader::chance(int percent)
{
    return percent > 0 && int(m_random.bounded(100)) < percent;
}

QString BootLoader::summary() const
{
    static const char *modes[] = {"off", "listening", "captured"};
    return QStringLiteral("mode=%1 packets=%2 bytes=%3 sha256=%4 starts=%5 started=%6 started-sha256=%7")
        .arg(QLatin1String(modes[int(m_mode)]))
        .arg(m_stored)
        .arg(m_image.size())
        .arg(hash(m_image))
        .arg(m_starts)
        .arg(m_startedImage.size())
        .arg(hash(m_startedImage));
}

bool BootLoader::control(const QString &line, QStringList *printed, QString *error)
{
    const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString what = words.value(0);
    auto number = [&](int index, int fallback, int max, bool *ok) {
        if (index >= words.size())
            return fallback;
        const int value = words[index].toInt(ok);
        *ok = *ok && value >= 0 && value <= max;
        return value;
    };
    bool ok = true;
    if (what == QLatin1String("state") && words.size() == 1) {
        printed->append(QStringLiteral("loader: ") + summary());
        return true;
    }
    if (what == QLatin1String("clear") && words.size() == 1) {
        m_faults = Faults{};
        return true;
    }
    if (what == QLatin1String("late") && (words.size() == 2 || words.size() == 3)) {
        const int ms = number(1, 0, 60000, &ok);
        const int count = ok ? number(2, 1, 1000000, &ok) : 0;
        if (ok) {
            m_faults.lateMs = ms;
            m_faults.late = count;
            return true;
        }
    }
    if (what == QLatin1String("boot") && words.size() == 2) {
        const int ms = number(1, 0, kMaxBootMs, &ok);
        if (ok) {
            m_bootMs = ms;
            return true;
        }
    }
    if (what == QLatin1String("random") && (words.size() == 3 || words.size() == 4)) {
        const int refuse = number(1, 0, 100, &ok);
        const int drop = ok ? number(2, 0, 100, &ok) : 0;
        const int seed = ok ? number(3, 1, 1 << 30, &ok) : 1;
        if (ok) {
            m_faults.refusePercent = refuse;
            m_faults.dropPercent = drop;
            m_random.seed(quint32(seed));
            return true;
        }
    }
    int *count = nullptr;
    if (what == QLatin1String("refuse"))
        count = &m_faults.refuse;
    else if (what == QLatin1String("drop"))
        count = &m_faults.drop;
    else if (what == QLatin1String("silent"))
        count = &m_faults.silent;
    else if (what == QLatin1String("deaf"))
        count = &m_faults.deaf;
    else if (what == QLatin1String("nakcapture"))
        count = &m_faults.nakCapture;
    if (count && words.size() <= 2) {
        const int value = number(1, 1, 1000000, &ok);
        if (ok) {
            *count = value;
            return true;
        }
    }
    *error = QStringLiteral("usage: loader refuse|drop|silent|deaf|nakcapture [count] | loader late <ms> [count] | "
                            "loader random <refuse %> <drop %> [seed] | loader boot <ms> | loader clear | loader state");
    return false;
}

} // namespace vexa::sim
