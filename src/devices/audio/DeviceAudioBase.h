#pragma once

#include "AudioControl.h"
#include "AudioPlatform.h"

#include "execution/AsyncCommand.h"
#include "execution/CmdCreateCmd.h"
#include "execution/CommandOf.h"
#include "execution/Device.h"
#include "execution/DeviceWorker.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace audio {

enum EDeviceAudioState
{
    easNone,
    easStarting,
    easStarted,
    easRunning,
    easStopping,
    easStopped,
    easError
};

enum EVolumeValueType
{
    evDecibel,
    evScalar
};

// Base of the audio input and output devices: one endpoint, found by its friendly name, and the
// functions that act on it at once (mute, default, volume).
class TDeviceAudioBase : public TDevice
{
public:
    explicit TDeviceAudioBase(TDeviceContext& aContext);

    // The functions every audio device has, before its own.
    static const TCmdCreateCmd::TTable& FunctionTable();

    bool InitAudioControl(EAudioIoType aAudioType, const QString& sDefinition);
    void SetMute(bool bOn);
    void SetVolume(EVolumeValueType aValueType, const std::vector<float>& aArgs);
    void SetDefaultEndpointDevice();

    // Ends the running capture or playback; false when the device is idle.
    virtual bool Stop() = 0;

    const QString& DeviceName() const { return fsDeviceName; }
    int ChannelCount() const { return fiChannelCount; }
    EDeviceAudioState State() const { return FeState; }

protected:
    IAudioPlatform& Platform() const;
    // The device's thread, on which its capture or playback runs.
    TWorkerThread& Worker() { return fWorker; }
    // The capture's or playback's events on the main thread: set the state, log, and hand the
    // result to the waiting command.
    void StateEvent(EDeviceAudioState eState, const char* sDebug);
    void ErrorEvent(const QString& sText);

    EDeviceAudioState FeState = easNone;

private:
    TDeviceWorker fWorker;
    std::unique_ptr<TAudioControl> fAudioControl;
    QString fsDeviceName;
    int fiChannelCount = 0;
};

// The endpoint functions: mute, unmute, default (one shared object each) and the volume of a line.
class TCmdAudioEndpoint : public TCommandOf<TDeviceAudioBase>
{
public:
    enum EAction
    {
        eMuteOn,
        eMuteOff,
        eSetAsDefault
    };
    TCmdAudioEndpoint(TDevice* aOwner, EAction eAction) : TCommandOf(aOwner), feAction(eAction) {}
    void Execute(const QString& sParameter) override;

protected:
    TCommand* CommandFor(const QString& sFunctionName, const QString& sParameter) override;

private:
    EAction feAction;
};

class TCmdSetVolume : public TCommandOf<TDeviceAudioBase>
{
public:
    using TCommandOf::TCommandOf;
    TCommand* Init(const QString& sParameter) override;
    void Execute(const QString& sParameter) override;

private:
    EVolumeValueType fValueType = evDecibel;
    std::vector<float> fValueArray;
};

// Base of the commands that wait for their device: at most one claims the device, a second is
// refused with its "not finished last time" message.
class TCmdAudioWait : public TCommandOf<TDeviceAudioBase, TAsyncCommand>
{
public:
    struct TNames
    {
        const char* sExecuteDebug;    // e.g. "AudioIn TCmdStop.Execute"
        const char* sConclusionDebug; // e.g. "AudioIn TCmdStop.Conclusion"
        const char* sNotFinished;     // e.g. "AudioIn \"Stop\" not finished last time!"
        std::uint32_t dwNotFinishedId;
    };
    TCmdAudioWait(TDevice* aOwner, TNames aNames);

protected:
    void Start(const QString& sParameter) override;
    // Releases the device; the holder also stops its operation (StopOperation).
    void StopPendingWork() final;
    // Starts the device operation; false concludes at once with FailedResult().
    virtual bool StartOperation() = 0;
    // Stops the operation of a pending execution that is cancelled or failed.
    virtual void StopOperation() {}
    virtual ECmdResult FailedResult() const { return crFailed; }
    // The device reported its result: conclude (the device is already released).
    virtual void Conclusion() = 0;

private:
    TNames fNames;
    TDeviceClaim fClaim;
};

// Stop: crOk once the running capture or playback has ended, crDone at once on an idle device.
class TCmdStop : public TCmdAudioWait
{
public:
    using TCmdAudioWait::TCmdAudioWait;

protected:
    TCommand* CommandFor(const QString& sFunctionName, const QString& sParameter) override;
    bool StartOperation() override { return Device().Stop(); }
    ECmdResult FailedResult() const override { return crDone; }
    void Conclusion() override { Finish(crOk); }
};

// The starts that conclude when the sound has started: crDone then, crFailed when an error or the
// end came first.
class TCmdAudioStart : public TCmdAudioWait
{
public:
    using TCmdAudioWait::TCmdAudioWait;

protected:
    void Conclusion() override { Finish(Device().State() == easStarted ? crDone : crFailed); }
};

} // namespace audio
