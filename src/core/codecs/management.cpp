// VexaHost - reports of reader-management answers.
#include "management.h"

#include <array>

namespace vexa {

namespace {

const QString kIndent = QStringLiteral("    ");

// Text from `first` up to the first zero byte, at most `maxLength` bytes.
QString textField(const FrameView &frame, int first, int maxLength)
{
    QByteArray text;
    for (int i = 0; i < maxLength; ++i) {
        const uint8_t c = frame[first + i];
        if (c == 0)
            break;
        text.append(char(c));
    }
    return QString::fromLatin1(text);
}

void versionReport(const FrameView &f, Report &r)
{
    const QString serial = textField(f, 10, 8);
    r.fields.insert(QStringLiteral("version"),
                    QVariantMap{{QStringLiteral("major"), f[7]},
                                {QStringLiteral("minor"), f[6]},
                                {QStringLiteral("image"), f[8]},
                                {QStringLiteral("cardEncodingEdition"), (f[9] & 0x80) != 0},
                                {QStringLiteral("generation"), f[9] & 0x7F},
                                {QStringLiteral("serialNumber"), serial}});
    r.heading = (f[9] & 0x7F) == 1 ? QStringLiteral("Reader Version: VexaIII")
                                   : QStringLiteral("Reader Version: Vexa Pelion");
    QString suffix;
    if (f[8] == 7)
        suffix = QStringLiteral(" -- Loaded Reader Version");
    else if (f[8] == 0)
        suffix = QStringLiteral(" -- Loaded Boot Version");
    if (f[9] & 0x80)
        r.lines << kIndent + QStringLiteral("Card encoding edition");
    r.lines << kIndent + QStringLiteral("Serial number: ") + serial;
    r.lines << kIndent + QString::asprintf("%d.%02d", f[7], f[6]) + suffix;
}

void informationReport(const FrameView &f, Report &r)
{
    const QString serial = textField(f, 6, 12);
    const QString version = QString::asprintf("%.2f", f.u16(16) * 0.01);
    r.fields.insert(QStringLiteral("readerInfo"), QVariantMap{{QStringLiteral("serialNumber"), serial},
                                                             {QStringLiteral("lifetime"), f.u16(14)},
                                                             {QStringLiteral("version"), version}});
    r.heading = QStringLiteral("Reader Version: Vexa ");
    r.lines << kIndent + QStringLiteral("Serial number: ") + serial;
    r.lines << kIndent + version + QStringLiteral(" -- Loaded Reader Version");
    r.lines << kIndent + QStringLiteral("Reader lifetime: ") + QString::number(f.u16(14));
}

void loaderReport(const FrameView &f, ManagementOutcome &out)
{
    Report &r = out.report;
    if (f.status() == 2)
        return;
    r.heading = QStringLiteral("Reader Version: Vexa 4");
    QString asic = QStringLiteral("TI 7960");
    if (f[10] == 1)
        asic = QStringLiteral("TI 6700");
    else if (f[10] == 2)
        asic = QStringLiteral("Melexis 90121");
    r.lines << kIndent + QStringLiteral("Reader ASIC Type = ") + asic;

    QString comType = QStringLiteral("USB Virtual Com Port");
    if (f[9] == 1)
        comType = QStringLiteral("Com Port");
    else if (f[9] == 2)
        comType = QStringLiteral("USB");
    r.lines << kIndent + QString::asprintf("Reader Ver: %d.%02d", f[7], f[6]) + QStringLiteral(" -- Com Type = ")
                   + comType;

    out.bootLoaderComType = f[8] == 1 ? 1 : 2;
    const QString bootComType = f[8] == 1 ? QStringLiteral("Com Port") : QStringLiteral("USB");
    r.lines << kIndent + QStringLiteral("Boot Loader Com Type = ") + bootComType;
    r.fields.insert(QStringLiteral("loader"), QVariantMap{{QStringLiteral("major"), f[7]},
                                                         {QStringLiteral("minor"), f[6]},
                                                         {QStringLiteral("asic"), asic},
                                                         {QStringLiteral("comType"), comType},
                                                         {QStringLiteral("bootLoaderComType"), bootComType}});
}

void setupReport(const FrameView &f, ManagementOutcome &out)
{
    Report &r = out.report;
    r.heading = QStringLiteral("Reader Setup:");
    const uint8_t flags = f[7];
    const uint8_t wiegand = f[6];
    const int baud = f[8] == 0 ? 9600 : f[8] == 1 ? 19200 : 38400;
    QString family = QStringLiteral("all");
    switch (flags & 0x70) {
    case 0x20: family = QStringLiteral("iso15693"); break;
    case 0x40: family = QStringLiteral("tagit"); break;
    case 0x10: family = QStringLiteral("iso14443a"); break;
    default: break;
    }
    const QString encryption = f[10] == 0 ? QStringLiteral("default") : f[10] == 2 ? QStringLiteral("plain")
                                                                                   : QStringLiteral("user");
    r.fields.insert(QStringLiteral("setup"),
                    QVariantMap{{QStringLiteral("wiegand"), wiegand == 0x40   ? QStringLiteral("uid")
                                                            : wiegand == 0x80 ? QStringLiteral("data")
                                                                              : QStringLiteral("off")},
                                {QStringLiteral("rf"), (flags & 0x01) != 0},
                                {QStringLiteral("led"), (flags & 0x04) != 0},
                                {QStringLiteral("audio"), (flags & 0x08) != 0},
                                {QStringLiteral("family"), family},
                                {QStringLiteral("baud"), baud},
                                {QStringLiteral("afi"), QString::asprintf("%02X", f[9])},
                                {QStringLiteral("encryption"), encryption}});

    r.lines << kIndent + QStringLiteral("Baud: ") + QString::number(baud);
    out.ledOn = (flags & 0x04) != 0;
    r.lines << kIndent + (*out.ledOn ? QStringLiteral("LED ON") : QStringLiteral("LED OFF"));
    out.audioOn = (flags & 0x08) != 0;
    r.lines << kIndent + (*out.audioOn ? QStringLiteral("Audio ON") : QStringLiteral("Audio OFF"));
    r.lines << kIndent + ((flags & 0x01) ? QStringLiteral("RF Transmitter ON") : QStringLiteral("RF Transmitter OFF"));

    if (wiegand != 0x40 && wiegand != 0x80) {
        r.lines << kIndent + QStringLiteral("Wiegand mode OFF");
        return;
    }
    QString afiLine;
    if (family == QLatin1String("iso15693")) {
        r.lines << kIndent + QStringLiteral("Wiegand mode ON - Read ISO 15693 tags");
        afiLine = kIndent + QString::asprintf("AFI: %02X - ", f[9]) + afiFamilyName(f[9]);
    } else if (family == QLatin1String("tagit")) {
        r.lines << kIndent + QStringLiteral("Wiegand mode ON - Read TAG-IT tags");
    } else if (family == QLatin1String("iso14443a")) {
        r.lines << kIndent + QStringLiteral("Wiegand mode ON - Read ISO 14443-A tags");
    } else {
        r.lines << kIndent + QStringLiteral("Wiegand mode ON - Read all tags");
    }
    r.lines << kIndent + (wiegand == 0x40 ? QStringLiteral("Report UID") : QStringLiteral("Report tag data"));
    if (encryption == QLatin1String("default"))
        r.lines << kIndent + QStringLiteral("Encryption - Default Key");
    else if (encryption == QLatin1String("plain"))
        r.lines << kIndent + QStringLiteral("Encryption - Plain text");
    else
        r.lines << kIndent + QStringLiteral("Encryption - User key");
    if (!afiLine.isEmpty())
        r.lines << afiLine;
}

constexpr Acknowledgement kAcknowledgements[] = {
    {mgmt::SetEncryption, "Set Reader Encryption Options", "Encryption parameters set"},
    {mgmt::ActivateLed, "Activate Reader LED:", "Command successful"},
    {mgmt::ActivateAudio, "Activate Reader Audio:", "Command successful"},
};

} // namespace

QString afiFamilyName(uint8_t afi)
{
    static const std::array<const char *, 16> names = {
        "All families", "Transport", "Financial", "ID/Access Control", "Telecomunication", "Medical",
        "Multimedia", "Gaming", "Data Storage", "Item Management", "Express Parcels", "Postal Services",
        "Airline Bags", "", "", "",
    };
    return QString::fromLatin1(names[afi >> 4]);
}

ManagementOutcome reportManagementResponse(const FrameView &frame)
{
    ManagementOutcome out;
    out.report.separator = true;
    switch (frame.code()) {
    case mgmt::GetVersion: versionReport(frame, out.report); break;
    case mgmt::GetLoaderInfo: loaderReport(frame, out); break;
    case mgmt::Diagnostics: out.report.heading = QStringLiteral("Reader Get Diag:"); break;
    case mgmt::ReadSetup: setupReport(frame, out); break;
    case mgmt::ReadInfo: informationReport(frame, out.report); break;
    default:
        if (reportAcknowledgement(kAcknowledgements, frame, out.report))
            break;
        if (frame.status() != 0)
            appendStatusError(out.report, frame);
        break;
    }
    return out;
}

} // namespace vexa
