#pragma once

#include "transport/ByteSink.h"

#include "core/MsgTypes.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class TMsgChannel;

namespace ports {
class IFtdiLibrary;
class TFtdiRs232;
class TSerial;
} // namespace ports

namespace instrument {

class TMS8218Transport;

using TTransportMsgEvent =
    std::function<void(TMS8218Transport* aSender, TMsgTypeId aType, const QString& aText, TMsgId aId)>;

// How the instrument reaches the MS8218 multimeter: a serial line or an FTDI converter, set up for
// the meter. A transport only carries bytes: what it received goes to the byte sink ReadRxData is
// given, the meter's frame decoder (TMS8218Base).
//
// Threads: the transport is opened, closed and read on the main thread, and the sink is fed there.
class TMS8218Transport
{
public:
    virtual ~TMS8218Transport() = default;
    TMS8218Transport(const TMS8218Transport&) = delete;
    TMS8218Transport& operator=(const TMS8218Transport&) = delete;

    // Any thread.
    virtual bool IsOpen() const = 0;
    // aPortNo: a COM port number, or the USB location id of a converter.
    virtual bool Open(std::uint32_t aPortNo) = 0;
    virtual void Close() = 0;
    // Takes what the transport received, without waiting, and hands it to aSink byte by byte.
    virtual void ReadRxData(ports::IByteSink& aSink) = 0;

    void SetOnMsg(TTransportMsgEvent aEvent) { FOnMsg = std::move(aEvent); }

protected:
    TMS8218Transport() = default;
    void Msg(TMsgTypeId aType, const QString& aText, TMsgId aId);

private:
    TTransportMsgEvent FOnMsg;
};

// The meter on a serial line: 2400 baud, 8 data bits, even parity, one stop bit. What the line
// receives waits in a queue for the instrument's next reading cycle.
class TMS8218Rs232 : public TMS8218Transport
{
public:
    // The receive queue keeps at most this many bytes (the newest).
    static constexpr int ciRxQueueLimit = 64 * 1024;

    // sDevicePath: the line to open instead of a COM port number (a definition that names a
    // device path); empty: COM ports 1 to 9, as the settings file sSettingsFile maps them to devices
    // (test socket iSocket's own group first, when it has one).
    // aMsg: where the line reports (the instrument's session).
    explicit TMS8218Rs232(TMsgChannel& aMsg, const QString& sDevicePath = QString(),
                          const QString& sSettingsFile = QString(), int iSocket = 0);
    ~TMS8218Rs232() override;

    bool IsOpen() const override { return fbOpen; }
    bool Open(std::uint32_t aPortNo) override;
    void Close() override;
    void ReadRxData(ports::IByteSink& aSink) override;

    ports::TSerial& Serial() const { return *fSerial; }

private:
    QString PortName() const;
    void DataReceived();
    void SerialError();

    std::unique_ptr<ports::TSerial> fSerial;
    QString fsDevicePath;
    QString fsSettingsFile;
    int fiSocket = 0;
    std::uint32_t fdwPortNo = 0;
    std::atomic<bool> fbOpen{false};
    bool fbOpening = false;
    std::mutex fRxLock;
    QByteArray fRxQueue;
};

// The meter behind an FTDI converter, opened at its USB location.
class TMS8218Ftdi : public TMS8218Transport
{
public:
    // Without a usable converter library the transport has no converter and never opens.
    // aMsg: where the converter reports (the instrument's session).
    TMS8218Ftdi(ports::IFtdiLibrary& aLibrary, TMsgChannel& aMsg);
    ~TMS8218Ftdi() override;

    bool IsOpen() const override;
    bool Open(std::uint32_t aPortNo) override;
    void Close() override;
    void ReadRxData(ports::IByteSink& aSink) override;

    ports::TFtdiRs232* Ftdi() const { return fFtdi.get(); }

private:
    std::unique_ptr<ports::TFtdiRs232> fFtdi;
};

} // namespace instrument
