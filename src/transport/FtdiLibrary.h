#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace ports {

// The status of a converter library call; 0 is success. The number is what error messages show
// as their value part.
enum EFtdiStatus : int
{
    ftOk = 0,
    ftInvalidHandle = 1,         // the converter is not open (closed, or its handle went stale)
    ftDeviceNotFound = 2,        // no converter with that serial number or location
    ftDeviceNotOpened = 3,       // found, but the USB layer would not open it (busy, claimed)
    ftIoError = 4,               // a transfer failed
    ftInsufficientResources = 5, // the USB layer ran out of memory or handles
    ftInvalidParameter = 6,      // a line setting the converter does not know
    ftInvalidBaudRate = 7,       // a rate the converter cannot make
    ftAccessDenied = 8,          // the USB device node is not accessible to this user
    ftDeviceGone = 9,            // unplugged while open
    ftNotSupported = 10,         // the converter type has no such function
    ftOtherError = 11
};

// A short English text for a status, for the log.
QString FtdiStatusText(int iStatus);

// Where users learn how to grant access to the converters (a udev rule).
QString FtdiAccessHint();

// One converter on the USB bus.
struct TFtdiDeviceInfo
{
    std::uint32_t dwFlags = 0;
    std::uint32_t dwType = 3;   // TFtdiD2xxDeviceList::DeviceTypeName numbering; 3 is "Unknown"
    std::uint32_t dwId = 0;     // vendor id in the upper, product id in the lower 16 bits
    std::uint32_t dwLocId = 0;  // the USB path: the bus, then one hexadecimal digit per port level
    QString sSerialNumber;      // at most 15 characters
    QString sDescription;       // at most 63 characters
    bool bAccessDenied = false; // listed, but its serial number and description could not be read
};

// Bits of GetModemStatus: the converter's modem input lines.
constexpr std::uint32_t cdwFtdiModemCts = 0x10;
constexpr std::uint32_t cdwFtdiModemDsr = 0x20;
constexpr std::uint32_t cdwFtdiModemRi = 0x40;
constexpr std::uint32_t cdwFtdiModemDcd = 0x80;

// Line settings as SetDataCharacteristics and SetFlowControl take them.
constexpr int ciFtdiStopBits1 = 0;
constexpr int ciFtdiStopBits2 = 2;
constexpr std::uint16_t cwFtdiFlowNone = 0x0000;
constexpr std::uint16_t cwFtdiFlowRtsCts = 0x0100;
constexpr std::uint16_t cwFtdiFlowDtrDsr = 0x0200;
constexpr std::uint16_t cwFtdiFlowXonXoff = 0x0400;
// The bit mode that drives the CBUS pins: mask bits 4..7 choose outputs, bits 0..3 their levels.
constexpr std::uint8_t cbyFtdiBitModeReset = 0x00;
constexpr std::uint8_t cbyFtdiBitModeCbus = 0x20;

// One opened converter. The poller reads from its own thread while the main thread writes and
// switches lines, so implementations serialise their calls. Destroying it closes it.
class IFtdiConverter
{
public:
    virtual ~IFtdiConverter() = default;

    virtual int Close() = 0;
    virtual int Reset() = 0;
    virtual int SetBaudRate(std::uint32_t dwBaudrate) = 0;
    // iDataBits 7 or 8; iStopBits ciFtdiStopBits1 or ciFtdiStopBits2; iParity 0 none, 1 odd,
    // 2 even, 3 mark, 4 space.
    virtual int SetDataCharacteristics(int iDataBits, int iStopBits, int iParity) = 0;
    // wFlow one of the cwFtdiFlow values; the XON and XOFF bytes serve cwFtdiFlowXonXoff.
    virtual int SetFlowControl(std::uint16_t wFlow, std::uint8_t byXOn, std::uint8_t byXOff) = 0;
    virtual int SetDtr(bool bState) = 0;
    virtual int SetRts(bool bState) = 0;
    virtual int SetBitMode(std::uint8_t byMask, std::uint8_t byMode) = 0;
    // The levels of the bit-bang pins.
    virtual int GetBitMode(std::uint8_t& byPins) = 0;
    // cdwFtdiModem bits.
    virtual int GetModemStatus(std::uint32_t& dwStatus) = 0;
    // Appends what the converter has received and not yet delivered; never waits for more.
    virtual int Read(QByteArray& aData) = 0;
    // Writes the bytes; dwWritten tells how many left.
    virtual int Write(const QByteArray& aData, std::uint32_t& dwWritten) = 0;
};

// The converter library: lists the converters on the USB bus and opens one. A platform part of
// the device context (TDeviceContext::Part<IFtdiLibrary>()); tests put a simulated bus there.
class IFtdiLibrary
{
public:
    // The library of the platform (libftdi1).
    static std::unique_ptr<IFtdiLibrary> CreateDefault();

    virtual ~IFtdiLibrary() = default;

    // Whether the library can be used at all; sVersion names it.
    virtual bool Available(QString& sVersion) = 0;
    // Fills aList with the converters present now.
    virtual int ListDevices(std::vector<TFtdiDeviceInfo>& aList) = 0;
    virtual int OpenBySerialNumber(const QString& sSerialNumber,
                                   std::unique_ptr<IFtdiConverter>& aConverter) = 0;
    virtual int OpenByLocation(std::uint32_t dwLocId, std::unique_ptr<IFtdiConverter>& aConverter) = 0;
};

} // namespace ports
