#include "DeviceAudioBase.h"

#include "core/CommaSeparatedValue.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "execution/CmdCreateCmd.h"
#include "execution/CmdParameters.h"

namespace audio {

TDeviceAudioBase::TDeviceAudioBase(TDeviceContext& aContext)
    : TDevice(aContext), fWorker(Msg(), "tzk-audio"),
      fAudioControl(std::make_unique<TAudioControl>(Platform(), Msg()))
{
    TCmdCreateCmd::AddTo(*this, FunctionTable());
}

namespace {

template <TCmdAudioEndpoint::EAction eAction>
std::unique_ptr<TCommand> CreateEndpointCommand(TDevice* aOwner)
{
    return std::make_unique<TCmdAudioEndpoint>(aOwner, eAction);
}

} // namespace

const TCmdCreateCmd::TTable& TDeviceAudioBase::FunctionTable()
{
    constexpr auto eShared = TCmdCreateCmd::eShared;
    static const TCmdCreateCmd::TTable table{
        {QStringLiteral("Audio TCmdCreateCmd.Init2: %s %s"), 0x401100, 0x40120A, QStringLiteral("S1")},
        {
            {"MuteOn",
             CreateEndpointCommand<TCmdAudioEndpoint::eMuteOn>,
             nullptr,
             {EParamField::Label},
             eShared},
            {"MuteOff",
             CreateEndpointCommand<TCmdAudioEndpoint::eMuteOff>,
             nullptr,
             {EParamField::Label},
             eShared},
            {"SetAsDefault",
             CreateEndpointCommand<TCmdAudioEndpoint::eSetAsDefault>,
             nullptr,
             {EParamField::Label},
             eShared},
            {"SetVolume",
             CreateCommand<TCmdSetVolume>,
             "Audio TCmdSetVolume",
             {EParamField::Label, EParamField::Choice, EParamField::Number, EParamField::More}},
        }};
    return table;
}

IAudioPlatform& TDeviceAudioBase::Platform() const
{
    return Context().Part<IAudioPlatform>();
}

void TDeviceAudioBase::StateEvent(EDeviceAudioState eState, const char* sDebug)
{
    FeState = eState;
    Msg().Debug(QString::fromLatin1(sDebug));
    Waiter().OnResult();
}

void TDeviceAudioBase::ErrorEvent(const QString& sText)
{
    FeState = easError;
    Msg().Error(QStringLiteral("Error in device \"%s\": %s"), {Name(), sText});
    Waiter().OnResult();
}

bool TDeviceAudioBase::InitAudioControl(EAudioIoType aAudioType, const QString& sDefinition)
{
    const TCommaSeparatedValue csv = ParameterFields(sDefinition);
    fsDeviceName = csv.ValueCount() > 2 ? csv.GetStringTrimmed(2) : QString();
    // A check without the station's sound server takes the endpoint name as written; an empty
    // one names no endpoint anywhere.
    if (!Context().HardwareAttached())
        return !fsDeviceName.isEmpty();
    if (!fAudioControl->Init(aAudioType, fsDeviceName))
        return false;
    fiChannelCount = fAudioControl->ChannelCount();
    Msg().Info(QStringLiteral("Initialized Audio ") + fAudioControl->Info());
    return true;
}

void TDeviceAudioBase::SetMute(bool bOn)
{
    fAudioControl->SetMute(bOn);
}

void TDeviceAudioBase::SetVolume(EVolumeValueType aValueType, const std::vector<float>& aArgs)
{
    if (aValueType == evDecibel)
        fAudioControl->SetVolume(aArgs);
    else
        fAudioControl->SetVolumeScalar(aArgs);
}

void TDeviceAudioBase::SetDefaultEndpointDevice()
{
    fAudioControl->SetDefaultEndpointDevice();
}

// ---------------------------------------------------------------------------------------------
// Endpoint commands

TCommand* TCmdAudioEndpoint::CommandFor(const QString&, const QString&)
{
    return this;
}

void TCmdAudioEndpoint::Execute(const QString&)
{
    TDeviceAudioBase* pDevice = &Device();
    try {
        switch (feAction) {
        case eMuteOn:
            pDevice->SetMute(true);
            break;
        case eMuteOff:
            pDevice->SetMute(false);
            break;
        case eSetAsDefault:
            pDevice->SetDefaultEndpointDevice();
            break;
        }
    } catch (const std::exception& e) {
        static const char* const cMessages[] = {"Cannot mute \"%s\" device!",
                                                "Cannot reset device mute \"%s\"!",
                                                "Cannot set \"%s\" as default device!"};
        const QString sError = Format(QString::fromLatin1(cMessages[feAction]), {pDevice->Name()});
        Msg().Error(sError);
        Msg().Debug(QStringLiteral("COM Error: ") + ExceptionText(e));
        SetErrorText(sError);
        Conclude(crFailed);
        return;
    }
    Conclude(crDone);
}

TCommand* TCmdSetVolume::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    RequireFieldCount(csv, 2);
    const QString sType = csv.GetValueTrimmed(1);
    if (sType.compare(QLatin1String("dB"), Qt::CaseInsensitive) == 0)
        fValueType = evDecibel;
    else if (sType.compare(QLatin1String("Scalar"), Qt::CaseInsensitive) == 0)
        fValueType = evScalar;
    else
        throw EMsg(QStringLiteral("Unknown volume value type \"%s\"!"), {sType}, TMsgId(0x402100), 0);
    fValueArray.clear();
    for (int i = 2; i < csv.ValueCount(); ++i)
        fValueArray.push_back(float(csv.GetFloat(i)));
    // Applied while the line loads, so that counts and ranges the endpoint refuses are errors of
    // the definition. A check without the endpoint knows only the scalar range.
    if (Owner()->Context().HardwareAttached())
        Device().SetVolume(fValueType, fValueArray);
    else if (fValueType == evScalar)
        TAudioControl::CheckScalarRange(fValueArray);
    return this;
}

void TCmdSetVolume::Execute(const QString&)
{
    Msg().Debug(QStringLiteral("Audio TCmdSetVolume.Execute"));
    try {
        Device().SetVolume(fValueType, fValueArray);
    } catch (const std::exception& e) {
        const QString sError = Format(QStringLiteral("Cannot set volume: %s"), {ExceptionText(e)});
        Msg().Error(sError);
        SetErrorText(sError);
        Conclude(crFailed);
        return;
    }
    Conclude(crDone);
}

// ---------------------------------------------------------------------------------------------
// TCmdAudioWait

TCommand* TCmdStop::CommandFor(const QString&, const QString&)
{
    return this;
}

TCmdAudioWait::TCmdAudioWait(TDevice* aOwner, TNames aNames)
    : TCommandOf(aOwner), fNames(aNames),
      fClaim(*this, {QString::fromLatin1(aNames.sNotFinished), aNames.dwNotFinishedId})
{}

void TCmdAudioWait::Start(const QString&)
{
    Msg().Debug(QString::fromLatin1(fNames.sExecuteDebug));
    fClaim.Claim([this] {
        Msg().Debug(QString::fromLatin1(fNames.sConclusionDebug));
        fClaim.Release();
        Conclusion();
    });
    // A source that cannot be made (a wave file that does not parse) raises: the step fails.
    if (!StartOperation()) {
        fClaim.Release();
        Finish(FailedResult());
    }
}

void TCmdAudioWait::StopPendingWork()
{
    // A command refused as busy leaves the waiting one's operation alone.
    if (fClaim.Release())
        StopOperation();
}

} // namespace audio
