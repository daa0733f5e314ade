#include "DeviceAudioIn.h"

#include "core/CommaSeparatedValue.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/StrUtilsEx.h"
#include "core/ValueLog.h"
#include "execution/CmdCreateCmd.h"
#include "execution/CmdParameters.h"
#include "execution/DeviceList.h"
#include "execution/RunnerControl.h"

#include <QStringList>

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace audio {

namespace {

void AppendLogColumn(TDeviceContext& aContext, const QString& sName)
{
    if (!aContext.ValueLog().Append(sName))
        aContext.Msg().Warning(QStringLiteral("Log value \"%s\" not unique!"), {sName});
}

// A per-channel field "a:b:c..." of exactly iCount integers.
std::vector<int> ChannelGroup(const QString& sField, int iCount, int iChannel, std::uint32_t dwId)
{
    const QStringList parts = sField.split(QLatin1Char(':'));
    if (parts.size() != iCount)
        throw EMsg(QStringLiteral("Invalid parameter count for channel %d!"), {iChannel}, TMsgId(dwId),
                   int(parts.size()));
    std::vector<int> values;
    for (const QString& s : parts)
        values.push_back(ParseInteger(s.trimmed()));
    return values;
}

QString JoinValues(const std::vector<int>& aValues)
{
    QStringList parts;
    for (const int i : aValues)
        parts << QString::number(i);
    return parts.join(QLatin1Char(','));
}

bool IsEnter(int iKey)
{
    return iKey == Qt::Key_Return || iKey == Qt::Key_Enter;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TDeviceAudioIn

TDeviceAudioIn::TDeviceAudioIn(TDeviceContext& aContext)
    : TDeviceAudioBase(aContext), fAudioCapture(std::make_unique<TAudioCapture>(Platform(), Worker()))
{
    TCmdCreateCmd::AddTo(*this, FunctionTable());
    fAudioCapture->OnCaptureError = [this](const QString& sText) { ErrorEvent(sText); };
}

const TCmdCreateCmd::TTable& TDeviceAudioIn::FunctionTable()
{
    static const TCmdCreateCmd::TTable table{
        {QStringLiteral("AudioIn TCmdCreateCmd.Init2: %s %s"), 0x413100, 0x413200,
         QStringLiteral("AudioIn1")},
        {
            {"Stop",
             [](TDevice* aOwner) -> std::unique_ptr<TCommand> {
                 return std::make_unique<TCmdStop>(
                     aOwner, TCmdAudioWait::TNames{"AudioIn TCmdStop.Execute", "AudioIn TCmdStop.Conclusion",
                                                   "AudioIn \"Stop\" not finished last time!", 0x412100});
             },
             nullptr,
             {EParamField::Label},
             TCmdCreateCmd::eShared},
            {"Check.RMS",
             CreateCommand<TCmdCheckRms>,
             "Audio TCmdCheckRms",
             {EParamField::Label, EParamField::Text, EParamField::More}},
            {"Start.RMS.Measurements",
             CreateCommand<TCmdStartRms>,
             "AudioIn TCmdStartAnalizer",
             {EParamField::Label}},
            {"Start.Recorder",
             CreateCommand<TCmdStartWaveRecorder>,
             "AudioIn TCmdStartRecorder",
             {EParamField::Label, EParamField::File}},
            {"Start.AVG.Check",
             CreateCommand<TCmdStartAvgCheck>,
             "AudioIn TCmdStartAvgCheck",
             {EParamField::Label, EParamField::Choice, EParamField::Text, EParamField::More}},
            {"Start.Peak.Check",
             CreateCommand<TCmdStartPeakCheck>,
             "Audio TCmdStartPeakCheck",
             {EParamField::Label, EParamField::Text, EParamField::More}},
        }};
    return table;
}

TDeviceAudioIn::~TDeviceAudioIn()
{
    // The thread ends before the commands its events refer to go.
    fAudioCapture->Shutdown();
}

void TDeviceAudioIn::Init(const QString& sDefinition)
{
    if (!InitAudioControl(eaInput, sDefinition))
        throw EMsg(QStringLiteral("Audio input device \"%s\" not found!"), {DeviceName()}, TMsgId(0x41110A),
                   0);
    fRmsValues.assign(std::size_t(ChannelCount()), 0);
    if (Context().HardwareAttached() && !fAudioCapture->Init(DeviceName()))
        throw EMsg(QStringLiteral("Audio input device \"%s\" initialization failed!"), {DeviceName()},
                   TMsgId(0x411114), 0);
    fAudioCapture->OnStopped = [this] {
        fAudioCapture->OnCaptureStart = nullptr;
        fAudioCapture->OnWave(EWaveEvent::Rms) = nullptr;
        fAudioCapture->OnWave(EWaveEvent::Average) = nullptr;
        StateEvent(easStopped, "AudioIn stopped event");
    };
}

void TDeviceAudioIn::RunEnded()
{
    // A recorder left running writes its file as its thread ends here.
    ReleaseEvents();
    fAudioCapture->Shutdown();
}

void TDeviceAudioIn::Released()
{
    ReleaseEvents();
    fAudioCapture->Shutdown();
}

bool TDeviceAudioIn::StartCapture(const QString& sDebugPrefix, const QString& sTerm, const char* sInitFailed)
{
    Msg().Debug(sDebugPrefix + sTerm);
    if (!fAudioCapture->Init(sTerm)) {
        Msg().Error(QString::fromLatin1(sInitFailed), {Name()});
        return false;
    }
    if (!fAudioCapture->Start()) {
        Msg().Error(QStringLiteral("Device \"%s\" is running already!"), {Name()});
        return false;
    }
    FeState = easStarting;
    return true;
}

bool TDeviceAudioIn::Busy() const
{
    // A start while a capture runs is refused before its events are bound, so that the running
    // capture keeps its own.
    if (!fAudioCapture->Running())
        return false;
    Msg().Error(QStringLiteral("Device \"%s\" is running already!"), {Name()});
    return true;
}

bool TDeviceAudioIn::CheckRms()
{
    if (Busy())
        return false;
    const QString sTerm = Format(QStringLiteral("%s=%s;%s=%s;%s"),
                                 {"DeviceName", DeviceName(), "Function", "RecordRms", "Event=On"});
    fAudioCapture->OnWave(EWaveEvent::Rms) = [this](std::uint32_t aSource, std::int32_t aValue) {
        RmsUpdate(aSource, aValue);
    };
    fAudioCapture->OnCaptureStart = nullptr;
    fiMeasurementCount = ChannelCount() - 1;
    return StartCapture(QStringLiteral("AudioIn analyzer initialization: "), sTerm,
                        "Device \"%s\" RMS analyzer initialization failed!");
}

bool TDeviceAudioIn::StartRmsRecorder()
{
    if (Busy())
        return false;
    const QString sTerm = Format(QStringLiteral("%s=%s;%s=%s;%s"),
                                 {"DeviceName", DeviceName(), "Function", "RecordRms", "Event=On"});
    BindStartHandler();
    fAudioCapture->OnWave(EWaveEvent::Rms) = [this](std::uint32_t aSource, std::int32_t aValue) {
        RmsUpdate(aSource, aValue);
    };
    fiMeasurementCount = 1000000;
    return StartCapture(QStringLiteral("AudioIn analyzer initialization: "), sTerm,
                        "Device \"%s\" analyzer initialization failed!");
}

bool TDeviceAudioIn::StartWaveRecorder(const QString& sFileName)
{
    if (Busy())
        return false;
    const QString sTerm =
        Format(QStringLiteral("%s=%s;%s=%s;%s=%s;"),
               {"DeviceName", DeviceName(), "Function", "RecordFile", "FileName", sFileName});
    BindStartHandler();
    fAudioCapture->OnWave(EWaveEvent::Rms) = nullptr;
    return StartCapture(QStringLiteral("AudioIn recorder initialization: "), sTerm,
                        "Device \"%s\" recorder initialization failed!");
}

bool TDeviceAudioIn::StartAvgRecorder(TCmdStartAvgCheck& aCmd)
{
    if (Busy())
        return false;
    const QString sTerm =
        Format(QStringLiteral("%s=%s;%s=%s;%s=%s;%s=%s;%s"),
               {"DeviceName", DeviceName(), "Function", "RecordAvg", "Offsets", JoinValues(aCmd.Offsets()),
                "Thresholds", JoinValues(aCmd.Thresholds()), "Event=On"});
    TCmdStartAvgCheck* pCmd = &aCmd;
    fAudioCapture->OnCaptureStart = nullptr;
    fAudioCapture->OnWave(EWaveEvent::Average) = [pCmd](std::uint32_t aSource, std::int32_t aValue) {
        pCmd->AverageUpdate(aSource, aValue);
    };
    fAudioCapture->OnWave(EWaveEvent::Peak) = [pCmd](std::uint32_t aSource, std::int32_t aValue) {
        pCmd->PeakUpdate(aSource, aValue);
    };
    fAudioCapture->OnWave(EWaveEvent::AverageReset) = [pCmd](std::uint32_t aSource, std::int32_t) {
        pCmd->ResetUpdate(aSource);
    };
    fAudioCapture->OnCaptureComplete = [pCmd](const TWaveCapture& aWave) { pCmd->CaptureComplete(aWave); };
    return StartCapture(QStringLiteral("AudioIn average recorder initialization: "), sTerm,
                        "Device \"%s\" average recorder initialization failed!");
}

bool TDeviceAudioIn::StartPeakRecorder(TCmdStartPeakCheck& aCmd)
{
    if (Busy())
        return false;
    const QString sTerm = Format(QStringLiteral("%s=%s;%s=%s;%s"),
                                 {"DeviceName", DeviceName(), "Function", "RecordPeak", "Event=On"});
    TCmdStartPeakCheck* pCmd = &aCmd;
    fAudioCapture->OnCaptureStart = nullptr;
    fAudioCapture->OnWave(EWaveEvent::Step) = [pCmd](std::uint32_t aSource, std::int32_t aValue) {
        pCmd->StepUpdate(aSource, aValue);
    };
    fAudioCapture->OnWave(EWaveEvent::Minimum) = [pCmd](std::uint32_t aSource, std::int32_t aValue) {
        pCmd->MinUpdate(aSource, aValue);
    };
    fAudioCapture->OnWave(EWaveEvent::Maximum) = [pCmd](std::uint32_t aSource, std::int32_t aValue) {
        pCmd->MaxUpdate(aSource, aValue);
    };
    return StartCapture(QStringLiteral("AudioIn peak recorder initialization: "), sTerm,
                        "Device \"%s\" peak recorder initialization failed!");
}

void TDeviceAudioIn::BindStartHandler()
{
    fAudioCapture->OnCaptureStart = [this] { StateEvent(easStarted, "AudioIn capture start event"); };
}

void TDeviceAudioIn::RmsUpdate(std::uint32_t aSource, std::int32_t aValue)
{
    if (aSource > 254) {
        Msg().Trace(QStringLiteral("Unknown value update %x = %d"), {unsigned(aSource), int(aValue)});
        return;
    }
    if (aSource >= fRmsValues.size()) {
        // More channels than the endpoint's volume has: nothing to keep them in.
        Msg().Trace(QStringLiteral("Unknown value update %x = %d"), {unsigned(aSource), int(aValue)});
        return;
    }
    Msg().Info(QStringLiteral("Measured sample RMS: Channel %d = %d"), {int(aSource), int(aValue)});
    fRmsValues[aSource] = aValue;
    if (--fiMeasurementCount < 0)
        Stop();
}

bool TDeviceAudioIn::Stop()
{
    fAudioCapture->OnCaptureStart = nullptr;
    for (const EWaveEvent eEvent : {EWaveEvent::Rms, EWaveEvent::Average, EWaveEvent::Peak,
                                    EWaveEvent::Maximum, EWaveEvent::AverageReset, EWaveEvent::Step})
        fAudioCapture->OnWave(eEvent) = nullptr;
    if (fAudioCapture->Stop()) {
        FeState = easStopping;
        return true;
    }
    Msg().Trace(QStringLiteral("Device \"%s\" idle - stop ignored"), {Name()});
    return false;
}

bool TDeviceAudioIn::GetMeasuredValue(unsigned aId, int& aValue) const
{
    const unsigned iChannel = aId & 0xFFu;
    if (iChannel >= fRmsValues.size())
        return false;
    aValue = fRmsValues[iChannel];
    return true;
}

void TDeviceAudioIn::ReleaseEvents()
{
    fAudioCapture->OnCaptureStart = nullptr;
    fAudioCapture->OnCaptureComplete = nullptr;
    fAudioCapture->ClearWaveEvents();
}

// ---------------------------------------------------------------------------------------------
// Check.RMS

TCmdCheckRms::TCmdCheckRms(TDevice* aOwner)
    : TCommandOf(aOwner, {"AudioIn TCmdCheckRms.Execute", "AudioIn TCmdCheckRms.Conclusion",
                          "AudioIn \"Check.RMS\" not finished last time!", 0x414200})
{}

TCommand* TCmdCheckRms::Init(const QString& sParameter)
{
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    // Not registered itself: the checks register the columns derived from it.
    fsLogName = LogColumnName(csv.GetValueTrimmed(0)).trimmed();
    faiMin.clear();
    faiMax.clear();
    for (int i = 1; i < csv.ValueCount(); ++i) {
        const int iChannel = i - 1;
        const QString sField = csv.GetStringTrimmed(i);
        const int iColon = sField.indexOf(QLatin1Char(':'));
        if (iColon < 0)
            throw EMsg(QStringLiteral("Invalid limit value definition \"%s\"!"), {sField}, TMsgId(0x414100),
                       iChannel, 0);
        faiMin.push_back(ParseInteger(sField.left(iColon).trimmed()));
        faiMax.push_back(ParseInteger(sField.mid(iColon + 1).trimmed()));
        if (!fsLogName.isEmpty())
            AppendLogColumn(Context(), fsLogName + QString::number(iChannel));
    }
    return this;
}

bool TCmdCheckRms::StartOperation()
{
    return Device().CheckRms();
}

void TCmdCheckRms::StopOperation()
{
    Device().Stop();
}

void TCmdCheckRms::Conclusion()
{
    const TDeviceAudioIn& device = Device();
    if (device.State() == easError) {
        SetErrorText(QStringLiteral("No measured values"));
        Msg().Error(QStringLiteral("No measured values!"));
        Finish(crFailed);
        return;
    }
    ECmdResult eResult = crOk;
    QString sSummary;
    for (std::size_t i = 0; i < faiMin.size(); ++i) {
        const int iChannel = int(i);
        const int iMin = faiMin[i];
        const int iMax = faiMax[i];
        if (iMin >= iMax) {
            Msg().Info(QStringLiteral("Channel %d value ignored"), {iChannel});
            continue;
        }
        int iValue = 0;
        if (!device.GetMeasuredValue(unsigned(i), iValue)) {
            sSummary += Format(QStringLiteral("%d: %d<=?<=%d; "), {iChannel, iMin, iMax});
            Msg().Error(QStringLiteral("No measured values for channel %d (%d <= ? <= %d)!"),
                        {iChannel, iMin, iMax});
            eResult = crFailed;
            break;
        }
        if (!fsLogName.isEmpty())
            Context().ValueLog().SetValue(fsLogName + QString::number(iChannel), QString::number(iValue));
        // A step keeps one number: its first checked channel's.
        if (!Measurement())
            SetMeasurement(iValue, iMin, iMax);
        if (iValue < iMin || iValue > iMax) {
            sSummary += Format(QStringLiteral("%d: %d<=%d<=%d; "), {iChannel, iMin, iValue, iMax});
            Msg().Error(QStringLiteral("Channel %d failed: %d <= %d <= %d!"), {iChannel, iMin, iValue, iMax});
            eResult = crFailed;
        } else {
            Msg().Info(QStringLiteral("Channel %d passed: %d <= %d <= %d"), {iChannel, iMin, iValue, iMax});
        }
    }
    if (!sSummary.isEmpty())
        SetErrorText(sSummary);
    Finish(eResult);
}

// ---------------------------------------------------------------------------------------------
// Start.RMS.Measurements, Start.Recorder

TCmdStartRms::TCmdStartRms(TDevice* aOwner)
    : TCommandOf(aOwner, {"AudioIn TCmdStartAnalizer.Execute", "AudioIn TCmdStartAnalizer.Conclusion",
                          "AudioIn \"Start.Analyser\" not finished last time!", 0x415200})
{}

TCommand* TCmdStartRms::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    return this;
}

bool TCmdStartRms::StartOperation()
{
    return Device().StartRmsRecorder();
}

TCmdStartWaveRecorder::TCmdStartWaveRecorder(TDevice* aOwner)
    : TCommandOf(aOwner, {"AudioIn TCmdStartRecorder.Execute", "AudioIn TCmdStartRecorder.Conclusion",
                          "AudioIn \"Start.Recorder\" not finished last time!", 0x416200})
{}

TCommand* TCmdStartWaveRecorder::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    RequireFieldCount(csv, 2);
    fsFileName = ResolveFileName(csv.GetStringTrimmed(1), false);
    return this;
}

bool TCmdStartWaveRecorder::StartOperation()
{
    return Device().StartWaveRecorder(fsFileName);
}

// ---------------------------------------------------------------------------------------------
// The open-ended checks

bool TCmdAudioKeyCheck::StartOperation()
{
    feResult = crUnknown;
    if (IRunnerControl* pRunner = Owner()->Context().Runner()) {
        fHookedRunner = pRunner;
        pRunner->SetOnKeyContinue([this](int iKey) { return KeyPressed(iKey); });
    }
    if (StartRecorder())
        return true;
    Device().ReleaseEvents();
    UnhookKey();
    return false;
}

bool TCmdAudioKeyCheck::KeyPressed(int iKey)
{
    Msg().Debug(QString::fromLatin1(KeyDebug()));
    if (IsEnter(iKey)) {
        UnhookKey();
        Device().Stop();
    } else if (iKey == Qt::Key_Escape || iKey == ciKeyNoAnswer) {
        const QString sText = iKey == Qt::Key_Escape ? QStringLiteral("Testcase cancelled by ESC!")
                                                     : QStringLiteral("No operator answer available");
        Msg().Info(sText);
        SetErrorText(sText);
        feResult = crFailed;
        UnhookKey();
        Device().Stop();
    } else {
        return false;
    }
    return true;
}

void TCmdAudioKeyCheck::UnhookKey()
{
    if (fHookedRunner && fHookedRunner == Owner()->Context().Runner())
        fHookedRunner->ClearOnKeyContinue();
    fHookedRunner = nullptr;
}

void TCmdAudioKeyCheck::StopOperation()
{
    UnhookKey();
    Device().ReleaseEvents();
    Device().Stop();
}

// ---------------------------------------------------------------------------------------------
// Start.AVG.Check

TCmdStartAvgCheck::TCmdStartAvgCheck(TDevice* aOwner)
    : TCmdAudioKeyCheck(aOwner, {"AudioIn TCmdStartAvgCheck.Execute", "AudioIn TCmdStartAvgCheck.Conclusion",
                                 "AudioIn \"Start.AverageCheck\" not finished last time!", 0x417200})
{}

TCommand* TCmdStartAvgCheck::Init(const QString& sParameter)
{
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    // Not registered itself: the checks register the columns derived from it.
    fsLogValNamePrefix = LogColumnName(csv.GetValueTrimmed(0)).trimmed();
    RequireFieldCount(csv, 2);
    fbEndOnError = csv.GetValueTrimmed(1).compare(QLatin1String("AutoError"), Qt::CaseInsensitive) == 0;
    fOffsets.clear();
    fThresholds.clear();
    fMaxAverages.clear();
    fMaxPeaks.clear();
    for (int i = 2; i < csv.ValueCount(); ++i) {
        const int iChannel = i - 2;
        const std::vector<int> group = ChannelGroup(csv.GetStringTrimmed(i), 4, iChannel, 0x417100);
        fOffsets.push_back(group[0]);
        fThresholds.push_back(group[1]);
        fMaxAverages.push_back(group[2]);
        fMaxPeaks.push_back(group[3]);
        if (!fsLogValNamePrefix.isEmpty()) {
            for (const char* sColumn : {"Accu", "Count", "AVG", "Peak"})
                AppendLogColumn(Context(),
                                fsLogValNamePrefix + QLatin1String(sColumn) + QString::number(iChannel));
        }
    }
    return this;
}

bool TCmdStartAvgCheck::StartRecorder()
{
    return Device().StartAvgRecorder(*this);
}

void TCmdStartAvgCheck::AverageUpdate(std::uint32_t aSource, std::int32_t aValue)
{
    if (aSource >= fMaxAverages.size())
        return;
    const int iMax = fMaxAverages[aSource];
    if (iMax > 0 && aValue > iMax) {
        Msg().Warning(QStringLiteral("Channel %d AVG: %d > %d!"), {int(aSource), int(aValue), iMax});
        if (fbEndOnError)
            Device().Stop();
    } else {
        Msg().Trace(QStringLiteral("Channel %d AVG: %d"), {int(aSource), int(aValue)});
    }
}

void TCmdStartAvgCheck::PeakUpdate(std::uint32_t aSource, std::int32_t aValue)
{
    if (aSource >= fMaxPeaks.size())
        return;
    const int iMax = fMaxPeaks[aSource];
    if (iMax > 0 && aValue > iMax) {
        Msg().Warning(QStringLiteral("Channel %d new peak: %d > %d!"), {int(aSource), int(aValue), iMax});
        if (fbEndOnError)
            Device().Stop();
    } else {
        Msg().Trace(QStringLiteral("Channel %d new peak: %d"), {int(aSource), int(aValue)});
    }
}

void TCmdStartAvgCheck::ResetUpdate(std::uint32_t aSource)
{
    Msg().Info(QStringLiteral("Channel %d sample accumulator reset"), {int(aSource)});
}

void TCmdStartAvgCheck::CaptureComplete(const TWaveCapture& aWave)
{
    Device().ReleaseEvents();
    if (Device().State() == easError) {
        SetErrorText(QStringLiteral("No measured values"));
        Msg().Error(QStringLiteral("No measured values!"));
        feResult = crFailed;
        return;
    }
    const auto* pAvg = dynamic_cast<const TWaveCaptureAvg*>(&aWave);
    if (!pAvg)
        throw EMsg(TMsgId(0x417300), 0);
    if (feResult == crUnknown)
        feResult = crOk;
    QString sSummary;
    const std::size_t nChannels = std::min(pAvg->Averages().size(), fMaxAverages.size());
    for (std::size_t i = 0; i < nChannels; ++i) {
        const int iChannel = int(i);
        const auto iAccu = static_cast<long long>(pAvg->SampleAccu()[i]);
        const auto iCount = static_cast<long long>(pAvg->SampleCounts()[i]);
        const int iAverage = pAvg->Averages()[i];
        const int iPeak = pAvg->PeakValues()[i];
        Msg().Info(QStringLiteral("Channel %d: Sample Accu=%d, Sample Count=%d, AVG=%d, Peak=%d"),
                   {iChannel, iAccu, iCount, iAverage, iPeak});
        if (!fsLogValNamePrefix.isEmpty()) {
            const QString sNo = QString::number(iChannel);
            TValueLog& log = Context().ValueLog();
            log.SetValue(fsLogValNamePrefix + QLatin1String("Accu") + sNo, QString::number(iAccu));
            log.SetValue(fsLogValNamePrefix + QLatin1String("Count") + sNo, QString::number(iCount));
            log.SetValue(fsLogValNamePrefix + QLatin1String("AVG") + sNo, QString::number(iAverage));
            log.SetValue(fsLogValNamePrefix + QLatin1String("Peak") + sNo, QString::number(iPeak));
        }
        const struct
        {
            int iValue;
            int iLimit;
            const char* sSummary;
            const char* sFailed;
            const char* sPassed;
        } checks[] = {
            {iAverage, fMaxAverages[i], "AVG %d: %d>%d; ", "Channel %d AVG failed: %d > %d!",
             "Channel %d AVG passed: %d > %d"},
            {iPeak, fMaxPeaks[i], "Peak %d: %d>%d; ", "Channel %d peak failed: %d > %d!",
             "Channel %d peak passed: %d > %d"},
        };
        for (const auto& check : checks) {
            if (check.iLimit <= 0)
                continue;
            if (check.iValue > check.iLimit) {
                sSummary +=
                    Format(QString::fromLatin1(check.sSummary), {iChannel, check.iValue, check.iLimit});
                Msg().Error(QString::fromLatin1(check.sFailed), {iChannel, check.iValue, check.iLimit});
                feResult = crFailed;
            } else {
                Msg().Info(QString::fromLatin1(check.sPassed), {iChannel, check.iValue, check.iLimit});
            }
        }
    }
    if (!sSummary.isEmpty())
        SetErrorText(sSummary);
}

void TCmdStartAvgCheck::Conclusion()
{
    UnhookKey();
    if (feResult == crUnknown) {
        SetErrorText(QStringLiteral("No measured values"));
        Msg().Error(QStringLiteral("No measured values!"));
        Device().ReleaseEvents();
        Device().Stop();
        Finish(crFailed);
        return;
    }
    Finish(feResult);
}

// ---------------------------------------------------------------------------------------------
// Start.Peak.Check

TCmdStartPeakCheck::TCmdStartPeakCheck(TDevice* aOwner)
    : TCmdAudioKeyCheck(aOwner,
                        {"AudioIn TCmdStartPeakCheck.Execute", "AudioIn TCmdStartPeakCheck.Conclusion",
                         "AudioIn \"Start.PeakCheck\" not finished last time!", 0x418200})
{}

TCommand* TCmdStartPeakCheck::Init(const QString& sParameter)
{
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    for (std::vector<int>* p : {&fMinValues, &fMinLimits, &fMaxValues, &fMaxLimits, &fMaxValueDelta,
                                &fSampleDeltaValues, &fMaxSampleIncrease, &fMaxSampleDelta})
        p->clear();
    for (int i = 1; i < csv.ValueCount(); ++i) {
        const std::vector<int> group = ChannelGroup(csv.GetStringTrimmed(i), 5, i - 1, 0x418100);
        fMinLimits.push_back(group[0]);
        fMaxLimits.push_back(group[1]);
        fMaxValueDelta.push_back(group[2]);
        fMaxSampleIncrease.push_back(group[3]);
        fMaxSampleDelta.push_back(group[4]);
    }
    fMinValues.assign(fMinLimits.size(), std::numeric_limits<int>::max());
    fMaxValues.assign(fMinLimits.size(), std::numeric_limits<int>::min());
    fSampleDeltaValues.assign(fMinLimits.size(), 0);
    return this;
}

bool TCmdStartPeakCheck::StartRecorder()
{
    // Every run judges its own extremes.
    fMinValues.assign(fMinLimits.size(), std::numeric_limits<int>::max());
    fMaxValues.assign(fMinLimits.size(), std::numeric_limits<int>::min());
    fSampleDeltaValues.assign(fMinLimits.size(), 0);
    fbLimitExceeded = false;
    return Device().StartPeakRecorder(*this);
}

QString TCmdStartPeakCheck::Summary(std::size_t nChannel) const
{
    const long long iMin = fMinValues[nChannel];
    const long long iMax = fMaxValues[nChannel];
    return Format(QStringLiteral("%d {%d} %d"), {iMin, iMax - iMin, iMax});
}

void TCmdStartPeakCheck::CheckPeakToPeak(std::size_t nChannel)
{
    const int iMin = fMinValues[nChannel];
    const int iMax = fMaxValues[nChannel];
    if (iMin == std::numeric_limits<int>::max() || iMax == std::numeric_limits<int>::min())
        return;
    const int iLimit = fMaxValueDelta[nChannel];
    if (iLimit > 0 && iMax - iMin > iLimit) {
        Msg().Error(QStringLiteral("Peak-to-peak amplitude: Channel %d: %d < %d!"),
                    {int(nChannel), iMax - iMin, iLimit});
        LimitExceeded();
    }
}

void TCmdStartPeakCheck::MinUpdate(std::uint32_t aSource, std::int32_t aValue)
{
    // Channels beyond the configured fields have no limits to check.
    if (aSource >= fMinLimits.size())
        return;
    fMinValues[aSource] = aValue;
    CheckPeakToPeak(aSource);
    if (aValue < fMinLimits[aSource]) {
        Msg().Error(QStringLiteral("Channel %d min sample update: %s (%d < %d)!"),
                    {int(aSource), Summary(aSource), int(aValue), fMinLimits[aSource]});
        LimitExceeded();
    } else {
        Msg().Trace(QStringLiteral("Channel %d min sample update: %s"), {int(aSource), Summary(aSource)});
    }
}

void TCmdStartPeakCheck::MaxUpdate(std::uint32_t aSource, std::int32_t aValue)
{
    if (aSource >= fMaxLimits.size())
        return;
    fMaxValues[aSource] = aValue;
    CheckPeakToPeak(aSource);
    if (aValue > fMaxLimits[aSource]) {
        Msg().Error(QStringLiteral("Channel %d max sample update: %s (%d < %d)!"),
                    {int(aSource), Summary(aSource), int(aValue), fMaxLimits[aSource]});
        LimitExceeded();
    } else {
        Msg().Trace(QStringLiteral("Channel %d max sample update: %s"), {int(aSource), Summary(aSource)});
    }
}

void TCmdStartPeakCheck::StepUpdate(std::uint32_t aSource, std::int32_t aValue)
{
    if (aSource >= fSampleDeltaValues.size())
        return;
    const int iPrevious = fSampleDeltaValues[aSource];
    QString sNotes;
    const int iChange = std::abs(iPrevious - aValue);
    if (fMaxSampleIncrease[aSource] > 0 && iChange > fMaxSampleIncrease[aSource])
        sNotes +=
            Format(QStringLiteral("Max sample increase %d > %d! "), {iChange, fMaxSampleIncrease[aSource]});
    if (fMaxSampleDelta[aSource] > 0 && aValue > fMaxSampleDelta[aSource])
        sNotes +=
            Format(QStringLiteral("Max Sample difference %d > %d!"), {int(aValue), fMaxSampleDelta[aSource]});
    fSampleDeltaValues[aSource] = aValue;
    QString sList;
    for (std::size_t i = 0; i < fSampleDeltaValues.size(); ++i)
        sList += Format(i == 0 ? QStringLiteral("%d") : QStringLiteral(", %d"), {fSampleDeltaValues[i]});
    if (sNotes.isEmpty()) {
        Msg().Trace(QStringLiteral("Sample difference update: %s"), {sList});
    } else {
        Msg().Error(QStringLiteral("Sample difference update: %s %s"),
                    {sList, Format(QStringLiteral("Channel %d: %s"), {int(aSource), sNotes})});
        LimitExceeded();
    }
}

void TCmdStartPeakCheck::Conclusion()
{
    UnhookKey();
    Device().ReleaseEvents();
    if (feResult == crFailed) {
        Finish(crFailed);
    } else if (Device().State() == easError) {
        SetErrorText(QStringLiteral("No measured values"));
        Msg().Error(QStringLiteral("No measured values!"));
        Finish(crFailed);
    } else if (fbLimitExceeded) {
        SetErrorText(QStringLiteral("Sample limits exceeded"));
        Finish(crFailed);
    } else {
        Finish(crOk);
    }
}

} // namespace audio
