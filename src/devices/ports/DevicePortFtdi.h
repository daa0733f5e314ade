#pragma once

#include "DevicePortBase.h"

#include "transport/FtdiRs232.h"
#include "transport/FtdiUtils.h"

#include <memory>

namespace ports {

// "FTDI": a USB serial converter driven through the converter library, chosen by its location,
// serial number or description; Instruct switches its modem lines and CBUS pins.
class TDevicePortFtdi : public TDevicePortBase
{
public:
    explicit TDevicePortFtdi(TDeviceContext& aContext);
    ~TDevicePortFtdi() override;

    static QString KeyName() { return QStringLiteral("FTDI"); }
    void Init(const QString& sDefinition) override;
    void WriteData(const QByteArray& aStream, int iTimeout) override;
    void Open() override;
    void Close() override;
    bool Instruct(const QString& aStatement) override;
    void Released() override;

    // Null when the converter library cannot be used.
    TFtdiRs232* Ftdi() const { return fFtdi.get(); }
    const QString& DevSerialNo() const { return fsDevSerialNo; }
    std::uint32_t UsbLocationId() const { return fdwUsbLocationId; }

private:
    bool IsOpen() const { return fFtdi && fFtdi->IsOpen(); }
    void NotOpen();
    void DataReceived();
    void ConverterLost();
    bool SwitchCbus(const QString& aStatement);

    std::unique_ptr<TFtdiRs232> fFtdi;
    QString fsDevSerialNo;
    std::uint32_t fdwUsbLocationId = 0;
    // Keeps the converter list of this definition for the devices that follow.
    std::shared_ptr<TFtdiDetector> fDetector;
};

} // namespace ports
