// VexaHost - how bytes travel to and from the reader.
//
// The link speaks to one Transport at a time; the serial port and the USB HID
// device each implement it, so nothing above this knows how bytes travel.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace vexa {

class Transport : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~Transport() override = default;

    // Hands one whole frame to the device. On failure returns false and sets
    // `error` to the device's own text.
    virtual bool write(const QByteArray &frame, QString *error) = 0;
    // The last failed write cannot succeed until the operator changes
    // something outside the program (a device the user may not open): its
    // message says everything, and no time-out report follows it.
    virtual bool lastFailureFinal() const { return false; }

signals:
    void bytesArrived(const QByteArray &bytes);
    // Part of a response that more bytes will follow: gathered without
    // restarting the response timer (USB reports of one frame).
    void pieceArrived(const QByteArray &bytes);
    // The device stopped delivering (unplugged, closed by the other side).
    void readFailed(const QString &error);
    // Traffic, for the Tx and Rx lights.
    void transmitted();
    void received();
};

} // namespace vexa
