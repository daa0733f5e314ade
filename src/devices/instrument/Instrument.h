#pragma once

#include "MS8218.h"
#include "MS8218Transport.h"

#include "core/MsgChannel.h"
#include "core/MsgTypes.h"

#include <QObject>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TDeviceContext;

namespace ports {
class TFtdiDetector;
}

namespace instrument {

// A measuring instrument read by a thread of its own. The instrument is made, used and destroyed
// on the main thread; its reading thread hands every result to the main thread and waits there
// until it was taken, so that the instrument's reading is written and read on the main thread only.
class TInstrument
{
public:
    // aMsg: where the instrument's messages go (its device's session).
    explicit TInstrument(TMsgChannel& aMsg);
    virtual ~TInstrument();
    TInstrument(const TInstrument&) = delete;
    TInstrument& operator=(const TInstrument&) = delete;

    // Configures the instrument from its port text and starts the reading thread.
    virtual void Init(const QString& sConfig) = 0;
    virtual bool Open() = 0;
    virtual bool Close() = 0;
    virtual void Reset() = 0;
    // The latest reading in the mode sMode names, times the mode's factor; false while there is
    // none (the reason is logged).
    virtual bool Read(const QString& sMode, double& rValue) = 0;

    // Stops the reading thread and waits for it; what it still had to say is logged.
    void Terminate();
    bool Running() const { return fThread.joinable(); }

protected:
    // The reading thread's body: runs until Terminated().
    virtual void Execute() = 0;
    void Start();
    bool Terminated() const { return fbTerminated; }

    // Logs aText at aType (any thread; from the reading thread the main thread logs it).
    void Message(TMsgTypeId aType, TMsgId aId, const QString& aText);
    // From the reading thread: runs aWork on the main thread and waits until it ran; false when the
    // instrument was terminated first (aWork then never runs).
    bool Synchronize(std::function<void()> aWork);

    // Guards the thread's state; fWake wakes the thread for a new state.
    std::mutex fLock;
    std::condition_variable fWake;

    // The last message, as the message routine stored it.
    TMsgTypeId fsSynchMsgType = eNone;
    QString fsSynchMsgText;
    TMsgId fsSynchMsgId;

private:
    struct TPendingMsg
    {
        TMsgTypeId eType;
        TMsgId Id;
        QString sText;
    };
    void Log(const TPendingMsg& aMsg);
    void FlushMessages();

    std::thread fThread;
    bool fbTerminated = false;      // under fLock
    std::uint64_t fiSynchDone = 0;  // under fLock: the last synchronised call that ran
    std::uint64_t fiSynchCalls = 0; // reading thread only
    std::mutex fMsgLock;
    std::vector<TPendingMsg> fMessages; // under fMsgLock
    // Lives on the main thread: hand-overs are queued to it and end with it.
    std::unique_ptr<QObject> fMainThread;

protected:
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
    void Execute() override;

private:
    // On the main thread, while the reading thread waits: takes the decoder's reading, or closes
    // the transport when reading is off.
    void UpdateReading();

    TDeviceContext& fContext;
    bool fhRunning = true; // under fLock: the reading thread runs; false parks it
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
