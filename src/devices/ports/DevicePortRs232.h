#pragma once

#include "DevicePortBase.h"

#include "transport/Serial.h"

#include <QByteArray>
#include <QTimer>

#include <memory>

namespace ports {

// "RS232": a serial line of the test station.
class TDevicePortRs232 : public TDevicePortBase
{
public:
    explicit TDevicePortRs232(TDeviceContext& aContext);
    ~TDevicePortRs232() override;

    static QString KeyName() { return QStringLiteral("RS232"); }
    void Init(const QString& sDefinition) override;
    void WriteData(const QByteArray& aStream, int iTimeout) override;
    void Open() override;
    void Close() override;
    void Released() override;

    // The device path of port number iNumber: the user's "SerialPorts/COMn" setting, else the
    // n-th on-board port "/dev/ttyS(n-1)"; a socket's "Socket<k>/SerialPorts/COMn" comes first.
    static QString DevicePath(const QString& sSettingsFile, int iNumber, int iSocket = 0);

    TSerial& Serial() const { return *fSerial; }
    int SendByteInterval() const { return fiSendByteInterval; }

private:
    void DataReceived();
    void SerialError();
    void SendNextByte();
    void Sent();

    std::unique_ptr<TSerial> fSerial;
    int fiSendByteInterval = 0;
    QString fsPortText; // the port as the definition names it: a number or a path

    // Byte by byte with pauses: what is still to go, and the timeout to start after it.
    QByteArray fTxPending;
    int fiTxTimeout = 0;
    QTimer fByteTimer;
};

} // namespace ports
