#pragma once

#include "MS8218.h"
#include "MS8218Transport.h"

#include "core/MsgChannel.h"
#include "core/MsgTypes.h"

#include "execution/DeviceWorker.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>

class TDeviceContext;

namespace ports {
class TFtdiDetector;
}

namespace instrument {

// A measuring instrument. It is made, used and destroyed on the main thread, and what its
// transport receives is decoded there as well: its worker thread only paces the reading cycle,
// which runs on the main thread, and parks while reading is off.
class TInstrument
{
public:
    // aMsg: where the instrument's messages go (its device's session).
    explicit TInstrument(TMsgChannel& aMsg);
    virtual ~TInstrument();
    TInstrument(const TInstrument&) = delete;
    TInstrument& operator=(const TInstrument&) = delete;

    // Configures the instrument from its port text and starts the reading cycle.
    virtual void Init(const QString& sConfig) = 0;
    virtual bool Open() = 0;
    virtual bool Close() = 0;
    virtual void Reset() = 0;
    // The latest reading in the mode sMode names, times the mode's factor; false while there is
    // none (the reason is logged).
    virtual bool Read(const QString& sMode, double& rValue) = 0;

    // Stops the worker thread and waits for it; a cycle it asked for and that has not run is dropped.
    void Terminate();
    bool Running() const { return fWorker.Running(); }

protected:
    // The worker thread's body: asks for reading cycles until it is stopped.
    virtual void Execute(const TWorkerThread::TLink& aLink) = 0;
    void Start();

    // Logs aText at aType in the device's session.
    void Message(TMsgTypeId aType, TMsgId aId, const QString& aText);

    TDeviceWorker fWorker;
    TMsgChannel& fMsg;
};

// The MS8218 multimeter on a serial line or an FTDI converter: the transport feeds what it
// receives to the frame decoder.
class TInstMS8218 : public TInstrument
{
public:
    explicit TInstMS8218(TDeviceContext& aContext);
    ~TInstMS8218() override;

    // "COM<n>", a device path, or an FTDI converter's identification ("USB", "SN:", "DS:").
    void Init(const QString& sConfig) override;
    bool Open() override;
    bool Close() override;
    void Reset() override;
    bool Read(const QString& sMode, double& rValue) override;

    const QString& PortIndication() const { return fsPortIndication; }
    std::uint32_t PortNo() const { return fdwPortNo; }
    bool ValueReading() const { return fbValueReading; }
    const TMS8218Base& Decoder() const { return fDecoder; }
    TMS8218Transport* Transport() const { return fDevice.get(); }

protected:
    void Execute(const TWorkerThread::TLink& aLink) override;

private:
    // One reading cycle, on the main thread: feeds what the transport received to the decoder and
    // takes its reading.
    void ReadCycle();
    // Takes the decoder's reading, or closes the transport when reading is off.
    void UpdateReading();

    TDeviceContext& fContext;
    bool fhRunning = true; // under the worker's lock (TWorkerThread::Update): false parks the cycle
    std::atomic<bool> fbCyclePosted{false};
    TMS8218Base fDecoder;
    // The transport to the meter; made by Init.
    std::unique_ptr<TMS8218Transport> fDevice;
    std::uint32_t fdwPortNo = 0;
    QString fsPortIndication;
    bool fbValueReading = false;
    bool fbReset = false;
    int fiModeCode = 0;
    QString fsMode;
    double frValue = 0.0;
    bool fbValid = false;
    bool fbRangeOverload = false;
    // Keeps the converter list of the definition while the instrument uses it.
    std::shared_ptr<ports::TFtdiDetector> fDetector;
};

} // namespace instrument
