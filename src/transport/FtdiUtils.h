#pragma once

#include "FtdiD2xx.h"

#include <QString>

#include <cstdint>
#include <memory>

class TMsgChannel;

namespace ports {

// Finds a converter by its identification in a definition: "USB" and a hexadecimal location id,
// "SN:" and (part of) a serial number, "DS:" and (part of) a description. The list of converters
// is read once and kept: a converter plugged in later is found by the next definition.
class TFtdiDetector
{
public:
    explicit TFtdiDetector(IFtdiLibrary& aLibrary);

    // The detector of the loaded definition on aLibrary. The devices that use it keep it (and so
    // its list) for as long as they live; the next definition gets a new one once they are gone.
    static std::shared_ptr<TFtdiDetector> Instance(IFtdiLibrary& aLibrary);
    // Forgets the shared detector: the next Instance lists the converters again.
    static void InstanceRelease();

    // True when a converter matches sName; its serial number, location id and indication are
    // then kept. False with the reason in ErrorText. The find that reads the list reports the
    // converters it may not use through aMsg (the device's session); the detector is shared by
    // the whole process, so a caller without a session passes null and the lines go to TMsg.
    bool Find(const QString& sName, TMsgChannel* aMsg = nullptr);
    // What Find would refuse in sName whatever converters are attached ("USB" and a location id,
    // "SN:" or "DS:" and a search text); empty when the form is right. A check without the
    // station's converters stops here.
    static QString IdentificationError(const QString& sName);

    std::uint32_t UsbLocationId() const { return FdwUsbLocationId; }
    const QString& DeviceSerialNo() const { return FsDeviceSerialNo; }
    // "USB%.4x [<identification>]", the port id of messages.
    const QString& DeviceIndication() const { return FsDeviceIndication; }
    const QString& ErrorText() const { return FsErrorText; }
    const TFtdiD2xxDeviceList& DeviceList() const { return *fDeviceList; }

private:
    bool LoadList(TMsgChannel* aMsg);
    bool Fail(const QString& sText);

    std::unique_ptr<TFtdiD2xxDeviceList> fDeviceList;
    std::uint32_t FdwUsbLocationId = 0;
    QString FsDeviceSerialNo;
    QString FsDeviceIndication;
    QString FsErrorText;
    bool fbLoaded = false;
};

} // namespace ports
