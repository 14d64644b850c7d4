// VexaHost - the reader session as the firmware upgrade's host: its link, its
// interface choice and its USB device, nothing more.
#pragma once

#include <QMetaObject>

#include "firmware/firmwarehost.h"
#include "firmware/loaderusblink.h"

namespace vexa {

class ReaderSession;

class SessionFirmwareHost final : public FirmwareHost, public LoaderUsbLink
{
public:
    explicit SessionFirmwareHost(ReaderSession &session) : m_session(session) {}
    ~SessionFirmwareHost() override;

    // FirmwareHost
    void stopRepeat() override;
    void requestLoaderInfo() override;
    bool linkBusy() const override;
    int bootLoaderComType() const override;
    bool usbChosen() const override;
    void chooseUsb() override;
    void chooseSerial() override;
    void refreshPorts() override;
    void requestVersion(std::function<void(bool answered)> answered) override;
    void resetReader() override;
    SerialTransport &serial() override;
    LoaderUsbLink &usbLink() override { return *this; }
    OperatorPrompt &prompt() override;

    // LoaderUsbLink
    bool isOpen() const override;
    bool deviceLost() const override;
    void clearDeviceLost() override;
    void selectUsb() override { chooseUsb(); }
    void openDevice() override;
    void setPollSuspended(bool suspended) override;
    void stopResponseTimer() override;
    void noteReconnected() override;
    bool writeReport(QByteArrayView block) override;
    QByteArray readReport() override;

private:
    void stopWatchingVersion();

    ReaderSession &m_session;
    // The version request's exchange, while one is watched.
    QMetaObject::Connection m_versionAnswer, m_versionEnd, m_versionRefused;
};

} // namespace vexa
