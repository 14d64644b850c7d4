// VexaHost - frames over USB HID: 16-byte reports both ways.
#include "usbreports.h"

#include <algorithm>
#include <limits>

namespace vexa {

QList<UsbReport> toUsbReports(const QByteArray &frame)
{
    QList<UsbReport> reports;
    for (qsizetype at = 0; at < frame.size(); at += kUsbReportSize) {
        UsbReport report{};
        const qsizetype n = std::min<qsizetype>(kUsbReportSize, frame.size() - at);
        std::copy_n(reinterpret_cast<const uint8_t *>(frame.constData()) + at, n, report.begin());
        reports << report;
    }
    return reports;
}

UsbPiece UsbFrameAssembler::take(const UsbReport &report, int gathered)
{
    if (gathered == 0 && report[0] == 0x01)
        m_remaining = report[1];
    if (m_remaining > kUsbReportSize) {
        m_remaining -= kUsbReportSize;
        return {kUsbReportSize, false};
    }
    return {std::max(m_remaining, 0), true};
}

std::optional<QString> AutoReadAssembler::addReport(const UsbReport &report)
{
    m_idleCount = 0;
    const auto end = std::find(report.begin(), report.end(), uint8_t(0));
    m_text += QString::fromLatin1(reinterpret_cast<const char *>(report.data()), end - report.begin());
    if (m_text.size() <= kLineLength) {
        m_text.truncate(kFirstPart);
        return std::nullopt;
    }
    const QString line = m_text.left(kLineLength);
    m_text.clear();
    return line;
}

void AutoReadAssembler::tick()
{
    if (m_idleCount >= kIdleTicks)
        m_text.clear();
    // Saturates: a poll left running for years must not wrap to "recent".
    if (m_idleCount < std::numeric_limits<int>::max())
        ++m_idleCount;
}

QString usbErrorText(uint32_t code, const QString &detail)
{
    switch (code) {
    case usberr::CouldNotWrite: return QStringLiteral("Error: Could not write.\n");
    case usberr::CouldNotRead: return QStringLiteral("Error: Could not read.\n");
    case usberr::ModuleNotFound:
#ifdef Q_OS_WIN
        return QStringLiteral("Could not find the USB HID library: AtUsbHid.dll\nPlease update the PATH variable.\n");
#else
        return QStringLiteral("Could not find the USB HID library: libAtUsbHid.so\n"
                              "Please update the LD_LIBRARY_PATH variable.\n");
#endif
    case usberr::CouldNotOpen: return QStringLiteral("Error: Could not open the device.\n");
    case usberr::NoCapabilities: return QStringLiteral("Error: Could not get USB device capabilities.\n");
    default: break;
    }
    QString text = QStringLiteral("Error: Unknown error code.\n");
    if (!detail.isEmpty())
        text += detail + QLatin1Char('\n');
    return text;
}

} // namespace vexa
