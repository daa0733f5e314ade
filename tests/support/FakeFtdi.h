#pragma once

#include "transport/FtdiLibrary.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

class TDeviceContext;

// The calls of a simulated converter that a test can make fail.
enum class EFakeFtdiStep
{
    Open,
    Reset,
    Baudrate,
    DataCharacteristics,
    FlowControl,
    Close,
    Write,
    Read,
    ModemLines, // SetDtr, SetRts
    BitMode,    // SetBitMode, GetBitMode
    ModemStatus
};

// One simulated converter on the simulated bus. Thread-safe: the port's poller reads from its
// thread while the test feeds and checks from the main thread.
class TFakeFtdiConverter
{
public:
    explicit TFakeFtdiConverter(const ports::TFtdiDeviceInfo& aInfo) : fInfo(aInfo) {}

    const ports::TFtdiDeviceInfo& Info() const { return fInfo; }

    // Bytes the converter receives from the device under test; the port picks them up at its
    // next poll.
    void Feed(const QByteArray& aData);
    // Everything the program wrote to the converter so far; TakeWritten also forgets it.
    QByteArray Written() const;
    QByteArray TakeWritten();
    // Answers every write like a device under test: called on the writing thread after the bytes
    // were recorded; it may Feed.
    void SetOnWrite(std::function<void(const QByteArray& aData)> aAnswer);

    // Makes every later call of that step return iStatus; ftOk makes it work again.
    void FailAt(EFakeFtdiStep eStep, int iStatus = ports::ftIoError);
    // Makes SetBaudRate refuse every rate above dwMax with ftInvalidBaudRate (0: no limit).
    void SetMaxBaudrate(std::uint32_t dwMax);
    // A write takes at most this many bytes (negative: all).
    void SetWriteLimit(int iBytes);
    // The modem input lines (cdwFtdiModem bits) the converter reports.
    void SetModemStatus(std::uint32_t dwStatus);
    // The levels GetBitMode reports for the CBUS pins.
    void SetPins(std::uint8_t byPins);

    bool IsOpen() const;
    bool Plugged() const;
    int OpenCount() const;
    int ResetCount() const;
    std::uint32_t Baudrate() const;
    int DataBits() const;
    int StopBits() const;
    int Parity() const;
    std::uint16_t FlowControl() const;
    std::uint8_t XOnByte() const;
    std::uint8_t XOffByte() const;
    bool Dtr() const;
    bool Rts() const;
    std::uint8_t BitMask() const;
    std::uint8_t BitMode() const;
    // How often the program read from it (every poll counts).
    int ReadCount() const;

private:
    friend class TFakeFtdi;
    friend class TFakeFtdiBus;
    friend class TFakeFtdiHandle;
    friend class TFakeFtdiLibrary;

    int Status(EFakeFtdiStep eStep) const; // the lock held

    const ports::TFtdiDeviceInfo fInfo;
    mutable std::mutex fLock;
    std::map<EFakeFtdiStep, int> fFailures;
    std::function<void(const QByteArray&)> fAnswer;
    QByteArray fRx;
    QByteArray fTx;
    bool fbPlugged = true;
    bool fbOpen = false;
    int fiOpenCount = 0;
    int fiResetCount = 0;
    int fiReadCount = 0;
    int fiWriteLimit = -1;
    std::uint32_t fdwMaxBaudrate = 0;
    std::uint32_t fdwBaudrate = 0;
    int fiDataBits = 8;
    int fiStopBits = ports::ciFtdiStopBits1;
    int fiParity = 0;
    std::uint16_t fwFlow = ports::cwFtdiFlowNone;
    std::uint8_t fbyXOn = 0;
    std::uint8_t fbyXOff = 0;
    bool fbDtr = false;
    bool fbRts = false;
    std::uint8_t fbyBitMask = 0;
    std::uint8_t fbyBitMode = 0;
    std::uint8_t fbyPins = 0;
    std::uint32_t fdwModemStatus = 0;
};

class TFakeFtdiBus;

// A simulated USB bus with converters, and the converter library that reaches it. Install puts
// the library into a device context: every FTDI device made with that context (and the
// converter detector it uses) sees these converters.
class TFakeFtdi
{
public:
    TFakeFtdi();
    ~TFakeFtdi();
    TFakeFtdi(const TFakeFtdi&) = delete;
    TFakeFtdi& operator=(const TFakeFtdi&) = delete;

    // Plugs a converter in; it is listed from the next listing on.
    TFakeFtdiConverter& Plug(const QString& sSerialNumber, const QString& sDescription, std::uint32_t dwLocId,
                             std::uint32_t dwType = 5, std::uint32_t dwId = 0x12340001);
    // Listed, but this user may not read or open it (no udev rule grants access).
    TFakeFtdiConverter& PlugDenied(std::uint32_t dwLocId);
    // Pulls it out: it leaves the list, and every call on it, opened or not, fails with
    // ftDeviceGone.
    void Unplug(const QString& sSerialNumber);
    // The converter plugged in with that serial number (unplugged ones too); null when none.
    TFakeFtdiConverter* Converter(const QString& sSerialNumber) const;

    // False: the library cannot be used at all.
    void SetAvailable(bool bAvailable);
    // Listing the converters fails with iStatus (ftOk: it works again).
    void FailList(int iStatus);
    // How often the converters were listed.
    int ListCount() const;

    // A library on this bus.
    std::unique_ptr<ports::IFtdiLibrary> CreateLibrary() const;
    // Puts a library on this bus into aContext in place of the platform's.
    void Install(TDeviceContext& aContext) const;
    // Gives aContext the platform's library back.
    static void Uninstall(TDeviceContext& aContext);

private:
    std::shared_ptr<TFakeFtdiBus> fBus;
};
