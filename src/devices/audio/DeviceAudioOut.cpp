#include "DeviceAudioOut.h"

#include "DeviceAudioIn.h"

#include "core/CommaSeparatedValue.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/StrUtilsEx.h"
#include "execution/CmdCreateCmd.h"
#include "execution/CmdParameters.h"
#include "execution/DeviceList.h"

namespace audio {

TDeviceAudioOut::TDeviceAudioOut(TDeviceContext& aContext)
    : TDeviceAudioBase(aContext), fAudioRender(std::make_unique<TAudioRender>(Platform(), Worker()))
{
    TCmdCreateCmd::AddTo(*this, FunctionTable());
    fAudioRender->OnError = [this](const QString& sText) { ErrorEvent(sText); };
    fAudioRender->OnStopped = [this] {
        fAudioRender->OnRenderStart = nullptr;
        StateEvent(easStopped, "AudioOut stopped event");
    };
}

TDeviceAudioOut::~TDeviceAudioOut()
{
    fAudioRender->Shutdown();
}

void TDeviceAudioOut::Init(const QString& sDefinition)
{
    if (!InitAudioControl(eaOutput, sDefinition))
        throw EMsg(QStringLiteral("Audio output device \"%s\" not found!"), {DeviceName()}, TMsgId(0x42010A),
                   0);
}

void TDeviceAudioOut::RunEnded()
{
    // A tone left playing ends with the run.
    fAudioRender->OnRenderStart = nullptr;
    fAudioRender->Shutdown();
}

void TDeviceAudioOut::Released()
{
    fAudioRender->OnRenderStart = nullptr;
    fAudioRender->Shutdown();
}

bool TDeviceAudioOut::StartSine(int iFrequency, int iDuration)
{
    return StartRender(
        Format(QStringLiteral("%s=%s;%s=%s;%s=%d;%s=%d"), {"DeviceName", DeviceName(), "Function", "Sine",
                                                           "Frequency", iFrequency, "Duration", iDuration}));
}

bool TDeviceAudioOut::StartFile(const QString& sFileName)
{
    return StartRender(Format(QStringLiteral("%s=%s;%s=%s;%s=%s"),
                              {"DeviceName", DeviceName(), "Function", "File", "FileName", sFileName}));
}

bool TDeviceAudioOut::StartRender(const QString& sTerm)
{
    if (!fAudioRender->Init(sTerm))
        return false;
    if (fAudioRender->Running()) {
        Msg().Error(QStringLiteral("Device \"%s\" is running already!"), {Name()});
        return false;
    }
    fAudioRender->OnRenderStart = [this] { StateEvent(easStarted, "AudioOut render start event"); };
    if (!fAudioRender->Start()) {
        Msg().Error(QStringLiteral("Device \"%s\" is running already!"), {Name()});
        return false;
    }
    FeState = easStarting;
    return true;
}

bool TDeviceAudioOut::Stop()
{
    fAudioRender->OnRenderStart = nullptr;
    if (fAudioRender->Stop()) {
        FeState = easStopping;
        return true;
    }
    Msg().Trace(QStringLiteral("Device \"%s\" idle - stop ignored"), {Name()});
    return false;
}

const TCmdCreateCmd::TTable& TDeviceAudioOut::FunctionTable()
{
    static const TCmdCreateCmd::TTable table{
        {QStringLiteral("AudioOut TCmdCreateCmd.Init2: %s %s"), 0x422100, 0x422200,
         QStringLiteral("AudioOut1")},
        {
            {"Stop",
             [](TDevice* aOwner) -> std::unique_ptr<TCommand> {
                 return std::make_unique<TCmdStop>(
                     aOwner,
                     TCmdAudioWait::TNames{"AudioOut TCmdStop.Execute", "AudioOut TCmdStop.Conclusion",
                                           "AudioOut \"Stop\" not finished last time!", 0x421100});
             },
             nullptr,
             {EParamField::Label},
             TCmdCreateCmd::eShared},
            {"Start.Sine",
             CreateCommand<TCmdStartSine>,
             "AudioOut TCmdStartSine",
             {EParamField::Label, EParamField::Number, EParamField::Number}},
            {"Start.File",
             CreateCommand<TCmdStartFile>,
             "AudioOut TCmdStartFile",
             {EParamField::Label, EParamField::File}},
        }};
    return table;
}

// ---------------------------------------------------------------------------------------------
// Start.Sine, Start.File

TCmdStartSine::TCmdStartSine(TDevice* aOwner)
    : TCommandOf(aOwner, {"AudioOut TCmdStartSine.Execute", "AudioOut TCmdStartSine.Conclusion",
                          "AudioOut \"Start.Sine\" not finished last time!", 0x413200})
{}

TCommand* TCmdStartSine::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    RequireFieldCount(csv, 2);
    fiFrequency = csv.GetInteger(1);
    fiDuration = csv.ValueCount() > 2 ? csv.GetInteger(2) : 0;
    return this;
}

bool TCmdStartSine::StartOperation()
{
    return Device().StartSine(fiFrequency, fiDuration);
}

TCmdStartFile::TCmdStartFile(TDevice* aOwner)
    : TCommandOf(aOwner, {"AudioOut TCmdStartFile.Execute", "AudioOut TCmdStartFile.Conclusion",
                          "AudioOut \"Start.File\" not finished last time!", 0x414200})
{}

TCommand* TCmdStartFile::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    RequireFieldCount(csv, 2);
    fsFileName = ResolveFileName(csv.GetStringTrimmed(1), true);
    return this;
}

bool TCmdStartFile::StartOperation()
{
    return Device().StartFile(fsFileName);
}

} // namespace audio
