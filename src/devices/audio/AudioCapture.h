#pragma once

#include "AudioPlatform.h"
#include "AudioWave.h"

#include "core/WorkerThread.h"

#include <QString>

#include <array>

#include <cstdint>
#include <functional>
#include <memory>

namespace audio {

using TAudioEvent = std::function<void()>;
using TTextEvent = std::function<void(const QString& aText)>;
// An analyser's value for one channel.
using TChannelEvent = std::function<void(std::uint32_t dwChannel, std::int32_t iValue)>;
// The capture ended: the wave sink with what it took in.
using TCaptureCompleteEvent = std::function<void(const TWaveCapture& aWave)>;

class TAudioCapture;

// The thread side of one capture: the wave sink made from the configuration term and the packet
// loop that feeds it.
class TAudioCaptureThread
{
public:
    TAudioCaptureThread(IAudioPlatform& aPlatform, TAudioCapture& aParent);
    // Makes the wave sink the term asks for; false for an unknown function.
    bool Init(const QString& sConfig, IWaveNotificationSink* aMsgWndHandle);
    // The thread's work; everything it reports goes through aLink.
    void Run(const TWorkerThread::TLink& aLink);

private:
    IAudioPlatform& fPlatform;
    TAudioCapture& fParent;
    std::shared_ptr<TWaveCapture> fWave;
    QString fsDeviceName;
};

// Captures from one endpoint into a wave sink on its device's worker thread and reports start,
// completion, errors, the end and the analysers' values on the main thread, in order.
class TAudioCapture
{
public:
    // aWorker: the device's thread; it outlives this object.
    TAudioCapture(IAudioPlatform& aPlatform, TWorkerThread& aWorker);
    virtual ~TAudioCapture();
    TAudioCapture(const TAudioCapture&) = delete;
    TAudioCapture& operator=(const TAudioCapture&) = delete;

    // Stores the configuration term of the next start; "Event=On" in it creates the sink.
    bool Init(const QString& sConfigTerm);
    // False when a capture runs or the term names no known function.
    bool Start();
    // Asks the running capture to end; false when none runs.
    bool Stop();
    // Stops the capture and waits for its thread; what it had not yet delivered is dropped.
    void Shutdown();
    bool Running() const { return fWorker.Running(); }

    // The handler of one of the analysers' values (main thread).
    TChannelEvent& OnWave(EWaveEvent eEvent) { return fWaveEvents[std::size_t(eEvent)]; }
    // Clears every handler of the analysers' values.
    void ClearWaveEvents();
    // Hands an analyser's value to its handler (main thread).
    void DispatchNotification(EWaveEvent eEvent, std::uint32_t dwChannel, std::int32_t iValue);

    TAudioEvent OnCaptureStart;
    TCaptureCompleteEvent OnCaptureComplete;
    TTextEvent OnCaptureError;
    TAudioEvent OnStopped;

private:
    class TSink;

    IAudioPlatform& fPlatform;
    TWorkerThread& fWorker;
    std::unique_ptr<TSink> fMsgWndHandle;
    QString fsConfigTerm;
    std::array<TChannelEvent, cWaveEventCount> fWaveEvents;
};

// The name=value pairs of a configuration term ("a=1;b=2;").
QString ConfigValue(const QString& sConfig, const QString& sName);

} // namespace audio
