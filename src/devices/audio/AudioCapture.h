#pragma once

#include "AudioPlatform.h"
#include "AudioThread.h"
#include "AudioWave.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace audio {

using TNotifyEvent = std::function<void(void* aSender)>;
using TTextEvent = std::function<void(const QString& aText)>;
using TNotifyWmAudioWave = std::function<void(void* aSender, std::uint32_t aSource, std::int32_t aValue)>;

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
    void Run(const TAudioThreadLink& aLink);

private:
    IAudioPlatform& fPlatform;
    TAudioCapture& fParent;
    std::shared_ptr<TWaveCapture> fWave;
    QString fsDeviceName;
};

// Captures from one endpoint into a wave sink on a thread of its own and reports start,
// completion, errors, the end and the analysers' notifications on the main thread, in order.
class TAudioCapture
{
public:
    explicit TAudioCapture(IAudioPlatform& aPlatform);
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
    bool Running() const { return fCaptureThread.Running(); }

    // Maps the analysers' codes to OnWmAudioWave1 .. 4 (main thread).
    virtual void DispatchNotification(std::uint32_t dwCode, std::uint32_t dwChannel, std::int32_t iValue);

    TNotifyEvent OnCaptureStart;
    TNotifyEvent OnCaptureComplete; // sender: the wave sink
    TTextEvent OnCaptureError;
    TNotifyEvent OnStopped;
    TNotifyWmAudioWave OnWmAudioWave1;
    TNotifyWmAudioWave OnWmAudioWave2;
    TNotifyWmAudioWave OnWmAudioWave3;
    TNotifyWmAudioWave OnWmAudioWave4;

private:
    class TSink;

    IAudioPlatform& fPlatform;
    std::unique_ptr<TSink> fMsgWndHandle;
    QString fsConfigTerm;
    TAudioThread fCaptureThread;
};

// The name=value pairs of a configuration term ("a=1;b=2;").
QString ConfigValue(const QString& sConfig, const QString& sName);

} // namespace audio
