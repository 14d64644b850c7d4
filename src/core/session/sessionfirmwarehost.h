// VexaHost - the reader session as the firmware upgrade's host: its link, its
// interface choice and its USB device, nothing more. Every call is one of
// the session's own; the session's parts stay its own.
#pragma once

#include "core/loader/firmwarehost.h"
#include "core/loader/loaderusblink.h"

namespace vexa {

class ReaderSession;

class SessionFirmwareHost final : public FirmwareHost, public LoaderUsbLink
{
public:
    explicit SessionFirmwareHost(ReaderSession &session) : m_session(session) {}

    // FirmwareHost
    void stopRepeat() override;
    void requestLoaderInfo() override;
    bool linkBusy() const override;
    LoaderComType bootLoaderComType() const override;
    bool usbChosen() const override;
    void chooseUsb() override;
    void chooseSerial() override;
    void refreshPorts() override;
    void requestVersion(std::function<void(bool answered)> answered) override;
    void resetReader() override;
    SerialTransport &loaderPort() override;
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
    ReaderSession &m_session;
};

} // namespace vexa
