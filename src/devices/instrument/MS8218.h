#pragma once

#include "core/MsgTypes.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace ports {
class IFtdiLibrary;
class TFtdiRs232;
class TSerial;
} // namespace ports

namespace instrument {

class TMS8218Base;

using TNotifyTextMsgEvent =
    std::function<void(TMS8218Base* aSender, TMsgTypeId aType, const QString& aText, TMsgId aId)>;

// The frame decoder of the MS8218 multimeter with its transport. The meter sends its display
// continuously: a start byte 0xA0..0xAF carrying the decimal exponent, the mode byte, the flag
// byte and five digit bytes (further bytes are not read). A frame is decoded when the next start
// byte arrives.
//
// Threads: the transport is opened and closed on the main thread; ReadRxData and the decoding run
// on the instrument's reading thread; the decoded fields are read on the main thread only while the
// reading thread waits for it. Reset and the decoding exclude each other, since opening the
// transport again resets the decoder while the reading thread may still be feeding it.
class TMS8218Base
{
public:
    static constexpr int ciFrameSize = 8;

    TMS8218Base() = default;
    virtual ~TMS8218Base() = default;
    TMS8218Base(const TMS8218Base&) = delete;
    TMS8218Base& operator=(const TMS8218Base&) = delete;

    // The mode text of a mode code; "unknown mode" for codes the meter does not use.
    static QString ModeText(int iModeCode);

    // Any thread.
    virtual bool IsOpen() const = 0;
    // aPortNo: a COM port number, or the USB location id of a converter.
    virtual bool Open(std::uint32_t aPortNo) = 0;
    virtual void Close() = 0;
    // Takes what the transport received, without waiting, and decodes it.
    virtual void ReadRxData() = 0;

    // Forgets the reading and the bytes collected so far.
    void Reset();
    // Decodes one received byte.
    void Receive(char aByte);

    double ModeFactor() const { return FrModeFactor; }
    const QString& Mode() const { return FsMode; }
    int ModeCode() const { return FiModeCode; }
    const QString& ModeAsText() const { return FsModeAsText; }
    bool AutoRange() const { return FbAutoRange; }
    bool RangeOverload() const { return FbRangeOverload; }
    double Value() const { return FrValue; }
    bool Valid() const { return FbValid; }

    void SetOnMsg(TNotifyTextMsgEvent aEvent) { FOnMsg = std::move(aEvent); }

protected:
    void Msg(TMsgTypeId aType, const QString& aText, TMsgId aId);

private:
    void Decode();

    QByteArray fRxBuffer;
    double FrModeFactor = 1.0;
    QString FsMode;
    int FiModeCode = 0;
    QString FsModeAsText;
    bool FbAutoRange = false;
    bool FbRangeOverload = false;
    double FrValue = 0.0;
    bool FbValid = false;
    TNotifyTextMsgEvent FOnMsg;
    std::mutex fDecodeLock;
    // A run of garbled frames is reported once, not every frame.
    bool fbGarbledReported = false;
};

// The meter on a serial line: 2400 baud, 8 data bits, even parity, one stop bit. The line lives on
// the main thread; what it receives waits in a queue for the reading thread.
class TMS8218Rs232 : public TMS8218Base
{
public:
    // The receive queue keeps at most this many bytes (the newest).
    static constexpr int ciRxQueueLimit = 64 * 1024;

    // sDevicePath: the line to open instead of a COM port number (a definition that names a
    // device path); empty: COM ports 1 to 9, as the user's settings map them to devices.
    // sDevicePath empty: the port by number, through the COMn mapping of sSettingsFile.
    explicit TMS8218Rs232(const QString& sDevicePath = QString(), const QString& sSettingsFile = QString());
    ~TMS8218Rs232() override;

    bool IsOpen() const override { return fbOpen; }
    bool Open(std::uint32_t aPortNo) override;
    void Close() override;
    void ReadRxData() override;

    ports::TSerial& Serial() const { return *fSerial; }

private:
    QString PortName() const;
    void DataReceived();
    void SerialError();

    std::unique_ptr<ports::TSerial> fSerial;
    QString fsDevicePath;
    QString fsSettingsFile;
    std::uint32_t fdwPortNo = 0;
    std::atomic<bool> fbOpen{false};
    bool fbOpening = false;
    std::mutex fRxLock;
    QByteArray fRxQueue;
};

// The meter behind an FTDI converter, opened at its USB location.
class TMS8218Ftdi : public TMS8218Base
{
public:
    // Without a usable converter library the transport has no converter and never opens.
    explicit TMS8218Ftdi(ports::IFtdiLibrary& aLibrary);
    ~TMS8218Ftdi() override;

    bool IsOpen() const override;
    bool Open(std::uint32_t aPortNo) override;
    void Close() override;
    void ReadRxData() override;

    ports::TFtdiRs232* Ftdi() const { return fFtdi.get(); }

private:
    std::unique_ptr<ports::TFtdiRs232> fFtdi;
};

} // namespace instrument
