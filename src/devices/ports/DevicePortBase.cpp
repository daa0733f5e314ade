#include "DevicePortBase.h"

#include "CmdJson.h"

#include "core/CommaSeparatedValue.h"
#include "core/EscTaggedString.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/StrUtilsEx.h"
#include "core/VariableManager.h"
#include "execution/CmdCreateCmd.h"
#include "execution/CmdParameters.h"

#include <cstdlib>

namespace ports {

namespace {

// A text value of a data command: the quoted part, with its escape tags replaced.
QString TextValue(const TCommaSeparatedValue& csv, int iIndex)
{
    return TEscTaggedString::Transform(csv.GetString(iIndex));
}

// Tags and expectations hold characters 0..255 only after the escape tags are replaced; a
// character above that cannot arrive from a port and is compared as "?".
QByteArray Bytes(const QString& sText)
{
    QByteArray bytes;
    if (TextToBytes(sText, bytes) < 0)
        bytes = sText.toLatin1();
    return bytes;
}

// Received bytes in a message: one character per byte, a long block cut to its head.
QString BoundedText(const QByteArray& aData)
{
    return BytesToText(DumpHead(aData)) + DumpRest(aData);
}

// Why a waiting step fails when its routine is called: the port's error, or the time that ran out
// (the timer is no longer enabled); empty when data arrived.
QString PortFailure(const TDevicePortBase& aPort)
{
    if (!aPort.ErrorText().isEmpty())
        return aPort.ErrorText();
    if (aPort.IsTimeoutTimerEnable())
        return {};
    aPort.Msg().Error(QStringLiteral("Timeout at port \"%s\"!"), {aPort.PortId()});
    return QStringLiteral("Timeout!");
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TDevicePortBase

TDevicePortBase::TDevicePortBase(TDeviceContext& aContext)
    : TDevice(aContext), fTimer(std::make_unique<QTimer>())
{
    fTimer->setSingleShot(true);
    // The response time is the engineer's: a coarse timer could conclude a wait early.
    fTimer->setTimerType(Qt::PreciseTimer);
    QObject::connect(fTimer.get(), &QTimer::timeout, [this] { TimerEvent(); });

    TCmdCreateCmd::AddTo(*this, FunctionTable());
}

const TCmdCreateCmd::TTable& TDevicePortBase::FunctionTable()
{
    constexpr auto eShared = TCmdCreateCmd::eShared;
    static const TCmdCreateCmd::TTable table{
        {QStringLiteral("DevicePortBase TCmdCreateCmd.Init: \"%s\" \"%s\""), 0x201114, 0x20120A,
         QStringLiteral("S1")},
        {
            {"Open", CreateCommand<TCmdOpen>, nullptr, {EParamField::Label}, eShared},
            {"Close", CreateCommand<TCmdClose>, nullptr, {EParamField::Label}, eShared},
            {"Timeout", CreateCommand<TCmdTimeout>, "TCmdTimeout", {EParamField::Label, EParamField::Number}},
            {"Monitor.Initialize",
             CreateCommand<TCmdInitMonitor>,
             "TCmdInitMonitor",
             {EParamField::Label, EParamField::Choice, EParamField::Text, EParamField::Number,
              EParamField::Text}},
            {"Instruct",
             CreateCommand<TCmdInstruct>,
             "TCmdInstruct",
             {EParamField::Label, EParamField::Text}},
            {"Send",
             CreateCommand<TCmdDataSend>,
             "TCmdDataSend",
             {EParamField::Label, EParamField::Text, EParamField::Text, EParamField::Text, EParamField::Text,
              EParamField::Variable}},
            {"WaitForResponse",
             CreateCommand<TCmdDataWaitForRsp>,
             "TCmdDataWaitForRsp",
             {EParamField::Label, EParamField::Text, EParamField::Text, EParamField::Text,
              EParamField::Variable}},
            {"Evaluate.Value",
             CreateCommand<TCmdGetValue>,
             "TCmdGetValue",
             {EParamField::Label, EParamField::Text, EParamField::Text, EParamField::Text,
              EParamField::Number, EParamField::Number, EParamField::Variable}},
            {"SendJson",
             CreateCommand<TCmdDataSendJson>,
             nullptr,
             {EParamField::Label, EParamField::Text, EParamField::Text, EParamField::Text, EParamField::Text,
              EParamField::Variable}},
            {"WaitForJson",
             CreateCommand<TCmdDataWaitForJson>,
             nullptr,
             {EParamField::Label, EParamField::Text, EParamField::Text, EParamField::Text,
              EParamField::Variable}},
        }};
    return table;
}

TDevicePortBase::~TDevicePortBase()
{
    if (fMonitor)
        fMonitor->OnInject = nullptr;
    fMonitor.reset();
    fTimer->stop();
}

void TDevicePortBase::Open()
{
    ClearRxData();
    if (fMonitor)
        fMonitor->Open();
}

void TDevicePortBase::Close()
{
    if (fMonitor)
        fMonitor->Close();
    ClearRxData();
}

bool TDevicePortBase::Instruct(const QString& /*aStatement*/)
{
    SetErrorText(QStringLiteral("Instructions not supported!"));
    Msg().Error(QStringLiteral("No instructions implemented!"));
    return false;
}

void TDevicePortBase::SendCmd(const QString& sData, int iTimeout)
{
    ClearErrorText();
    QByteArray bytes;
    const int iResult = TextToBytes(sData, bytes);
    if (iResult < 0)
        throw EMsg(QStringLiteral("Invalid char at position %d in string \"%s\""), {-iResult, sData},
                   TMsgId(0x200100), iResult);
    WriteData(bytes, iTimeout);
}

int TDevicePortBase::InitMonitor(const QString& sConfig)
{
    if (fMonitor) {
        Msg().Debug(QStringLiteral("Port monitor already initialized!"));
        return 0;
    }
    try {
        const TCommaSeparatedValue csv = ParameterFields(sConfig);
        QStringList values;
        for (int i = 0; i < csv.ValueCount(); ++i)
            values << csv.GetValue(i);
        const QString sType = csv.GetValueTrimmed(1);
        if (sType.compare(QLatin1String("UDP"), Qt::CaseInsensitive) != 0) {
            Msg().Error(QStringLiteral("Unknown monitor type \"%s\"!"), {sType});
        } else {
            auto monitor = std::make_unique<TPortMonitor>(Msg());
            if (monitor->Init(values)) {
                monitor->OnInject = [this](const QString& sText) { SendCmd(sText, 0); };
                fMonitor = std::move(monitor);
                return 1;
            }
        }
    } catch (const std::exception& e) {
        Msg().Error(QStringLiteral("Invalid configuration: <%s>!"), {sConfig});
        Msg().Debug(ExceptionText(e));
    }
    SetErrorText(QStringLiteral("Invalid configuration!"));
    return -1;
}

void TDevicePortBase::StartTimer(int iValue)
{
    if (iValue == 0)
        return;
    if (iValue > 0)
        fiInterval = iValue;
    fbTimerEnabled = true;
    if (fiInterval > 0)
        fTimer->start(fiInterval);
    else
        fTimer->stop(); // enabled, but a zero interval never fires
}

void TDevicePortBase::DisableTimer()
{
    fbTimerEnabled = false;
    fTimer->stop();
}

void TDevicePortBase::TimerEvent()
{
    DisableTimer();
    Msg().Debug(QStringLiteral("Timer event at port \"%s\""), {FsPortId});
    RaiseResult();
}

QString TDevicePortBase::GetRxData() const
{
    return BytesToText(FRxData);
}

QByteArray TDevicePortBase::GetRxDataEx(const QByteArray& aStartTag, const QByteArray& aEndTag)
{
    // Positions are 0-based here: iFrom is where the response starts, -1 when no frame started.
    int iFrom = -1;
    if (!aStartTag.isEmpty()) {
        const int iStart = FRxData.indexOf(aStartTag);
        if (iStart >= 0)
            iFrom = iStart + aStartTag.size();
    } else if (!FRxData.isEmpty()) {
        iFrom = 0;
    }
    if (iFrom < 0) {
        // Garbage before a start tag does not accumulate; a tag split across chunks is still found.
        if (!aStartTag.isEmpty() && FRxData.size() > aStartTag.size())
            FRxData = FRxData.right(aStartTag.size());
        return {};
    }
    const int iTo = aEndTag.isEmpty() ? FRxData.size() : FRxData.indexOf(aEndTag, iFrom);
    if (iTo < 0)
        return {}; // the frame is still incomplete
    QByteArray response = FRxData.mid(iFrom, iTo - iFrom);
    if (!aEndTag.isEmpty())
        FRxData = FRxData.mid(iTo + aEndTag.size());
    if (!aStartTag.isEmpty()) {
        const int iLast = response.lastIndexOf(aStartTag);
        if (iLast >= 0)
            response = response.mid(iLast + aStartTag.size());
    }
    return response;
}

void TDevicePortBase::ClearRxData()
{
    FRxData.clear();
    fbRxLimitWarned = false;
}

void TDevicePortBase::AppendRxData(const QByteArray& aData)
{
    FRxData.append(aData);
    if (FRxData.size() > ciRxDataLimit) {
        FRxData.remove(0, FRxData.size() - ciRxDataLimit);
        if (!fbRxLimitWarned) {
            fbRxLimitWarned = true;
            Msg().Warning(
                QStringLiteral("%s: more than %d bytes received without a response, oldest bytes dropped"),
                {FsPortId, ciRxDataLimit});
        }
    }
}

QString TDevicePortBase::DisplayForm(const QByteArray& aData)
{
    const QByteArray head = DumpHead(aData);
    QString sHex;
    sHex.reserve(head.size() * 3);
    static const char digits[] = "0123456789ABCDEF";
    for (const char c : head) {
        const auto b = static_cast<unsigned char>(c);
        sHex += QLatin1Char(' ');
        sHex += QLatin1Char(digits[b >> 4]);
        sHex += QLatin1Char(digits[b & 0x0F]);
    }
    return QLatin1Char('"') + EscapeText(BytesToText(head)) + QStringLiteral("\"; ") + sHex + DumpRest(aData);
}

QString TDevicePortBase::DumpText(const QByteArray& aData)
{
    return EscapeText(BytesToText(DumpHead(aData))) + DumpRest(aData);
}

QString TDevicePortBase::Display(const QByteArray& aData, bool bSent)
{
    if (fMonitor)
        fMonitor->Display(aData, bSent);
    // The form only feeds trace lines: nobody sees it unless a sink shows them.
    return Msg().Shows(eTrace) ? DisplayForm(aData) : QString();
}

void TDevicePortBase::ReportPortError(const QString& sText, const QString& sLogText)
{
    SetErrorText(sText);
    Msg().Error(sLogText.isEmpty() ? sText : sLogText);
    // One quick tick concludes the waiting command; the interval is left as configured, so that
    // the next waits of this port get their full response time.
    fbTimerEnabled = true;
    fTimer->start(1);
}

void TDevicePortBase::ReadTimeout(const QString& sDefinition)
{
    const TCommaSeparatedValue csv = ParameterFields(sDefinition);
    SetTimer(csv.GetInteger(2));
}

// ---------------------------------------------------------------------------------------------
// Open, Close

TCommand* TCmdOpenClose::CommandFor(const QString&, const QString&)
{
    return this;
}

void TCmdOpenClose::Execute(const QString&)
{
    auto& port = Device();
    try {
        if (fbOpen)
            port.Open();
        else
            port.Close();
    } catch (const std::exception& e) {
        const QString sVerb = fbOpen ? QStringLiteral("open") : QStringLiteral("close");
        SetErrorText(QStringLiteral("Cannot %s port!"), {sVerb});
        Msg().Error(QStringLiteral("Cannot %s port \"%s\"!"), {sVerb, port.PortId()});
        Msg().Debug(ExceptionText(e));
        TCommand::Conclude(crFailed);
        return;
    }
    TCommand::Conclude(crOk);
}

// ---------------------------------------------------------------------------------------------
// Timeout, Monitor.Initialize, Instruct

TCommand* TCmdTimeout::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    fnTime = unsigned(std::abs(static_cast<long long>(csv.GetInteger(1))));
    return this;
}

void TCmdTimeout::Execute(const QString&)
{
    Device().SetTimer(int(fnTime));
    TCommand::Conclude(crDone);
}

TCommand* TCmdInitMonitor::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    fsConfig = sParameter;
    return this;
}

void TCmdInitMonitor::Execute(const QString&)
{
    auto& port = Device();
    const int iResult = port.InitMonitor(Context().Variables().InsertValues(fsConfig));
    if (iResult < 0) {
        SetErrorText(port.ErrorText());
        TCommand::Conclude(crFailed);
        return;
    }
    TCommand::Conclude(iResult == 0 ? crDone : crOk);
}

TCommand* TCmdInstruct::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    fsStatement = csv.GetStringTrimmed(1);
    return this;
}

void TCmdInstruct::Execute(const QString&)
{
    auto& port = Device();
    if (port.Instruct(Context().Variables().InsertValues(fsStatement))) {
        TCommand::Conclude(crDone);
        return;
    }
    SetErrorText(port.ErrorText());
    TCommand::Conclude(crFailed);
}

// ---------------------------------------------------------------------------------------------
// TCmdData

TBusyMessage PortBusy(std::uint32_t dwId)
{
    return {QStringLiteral("Command execution not finished last time!"), dwId};
}

TCmdData::TCmdData(TDevice* aOwner, std::uint32_t dwBusyId)
    : TCommandOf(aOwner), fClaim(*this, PortBusy(dwBusyId))
{}

void TCmdData::Wait()
{
    if (fbExpectNoResponse)
        WaitWith([this] { ConcludeWithNoResponse(); });
    else
        WaitWith([this] { Conclude(); });
}

void TCmdData::WaitWith(std::function<void()> aConclusion)
{
    fClaim.Claim(std::move(aConclusion));
}

void TCmdData::StopPendingWork()
{
    // Only the command that holds the port may reset it: a command refused as busy leaves the
    // waiting one alone.
    if (!fClaim.Release())
        return;
    Device().DisableTimer();
    Device().ClearRxData();
}

void TCmdData::FinishData(ECmdResult eResult)
{
    Device().DisableTimer();
    fClaim.Release();
    Finish(eResult);
}

void TCmdData::ReadExpectation(const TCommaSeparatedValue& csv, int iFirst, std::uint32_t dwVariableId)
{
    fsStartTag = TextValue(csv, iFirst);
    fsEndTag = TextValue(csv, iFirst + 1);
    fbExpectNoResponse =
        csv.GetValueTrimmed(iFirst + 2).compare(QLatin1String("NoResponse"), Qt::CaseInsensitive) == 0;
    fsExpected = fbExpectNoResponse ? QString() : TextValue(csv, iFirst + 2);
    fsVariableName.clear();
    if (csv.ValueCount() > iFirst + 3) {
        fsVariableName = csv.GetStringTrimmed(iFirst + 3);
        if (!fsVariableName.isEmpty())
            RequireVariable(Context().Variables(), fsVariableName, dwVariableId);
    }
}

void TCmdData::Conclude()
{
    TDevicePortBase& port = Device();
    const QString sFailure = PortFailure(port);
    if (!sFailure.isEmpty()) {
        SetErrorText(sFailure);
        FinishData(crFailed);
        return;
    }
    const QByteArray response = port.GetRxDataEx(Bytes(fsStartTag), Bytes(fsEndTag));
    const QString sResponse = BytesToText(response);
    Msg().Debug(QStringLiteral("DevicePortBase TCmdData.Conclusion: \"%s\""), {BoundedText(response)});
    if (response.isEmpty())
        return;
    LogValue(sResponse);
    // The expectation sees the variables' values at the moment the response arrives.
    const QString sExpected = Context().Variables().InsertValues(fsExpected);
    const QByteArray expected = Bytes(sExpected);
    ECmdResult eResult = crOk;
    if (MatchWildcardBytes(response, expected)) {
        Msg().Info(QStringLiteral("Response Passed: Expected= \"%s\" = \"%s\""),
                   {EscapeText(sExpected), TDevicePortBase::DumpText(response)});
    } else if ((fsStartTag.isEmpty() || fsEndTag.isEmpty()) &&
               (sExpected.contains(QLatin1Char('*')) || sResponse.size() < sExpected.size())) {
        // Not closed by a tag pair: more may still come.
        Msg().Trace(QStringLiteral("Response received \"%s\" wait for expected \"%s\""),
                    {TDevicePortBase::DumpText(response), EscapeText(sExpected)});
        return;
    } else {
        eResult = crFailed;
        const QString sShown = TDevicePortBase::DumpText(response);
        SetErrorText(QStringLiteral("\"%s\"<>\"%s\""), {EscapeText(sExpected), sShown});
        Msg().Error(QStringLiteral("Response Failed: Expected= \"%s\" <> \"%s\""),
                    {EscapeText(sExpected), sShown});
    }
    if (!fsVariableName.isEmpty() && !Context().Variables().Update(fsVariableName, sResponse)) {
        eResult = crFailed;
        SetErrorText(QStringLiteral("Update %s with \"%s\" failed!"),
                     {fsVariableName, BoundedText(response)});
        Msg().Error(QStringLiteral("Response Failed: Invalid data type for variable %s"), {fsVariableName});
    }
    FinishData(eResult);
}

void TCmdData::ConcludeWithNoResponse()
{
    TDevicePortBase& port = Device();
    if (!port.ErrorText().isEmpty()) {
        SetErrorText(port.ErrorText());
        port.ClearRxData();
        FinishData(crFailed);
        return;
    }
    ECmdResult eResult = crOk;
    if (!port.IsTimeoutTimerEnable()) {
        Msg().Info(QStringLiteral("No response expected = No response received"));
    } else {
        const QByteArray response = port.GetRxDataEx(Bytes(fsStartTag), Bytes(fsEndTag));
        const QString sResponse = BytesToText(response);
        Msg().Debug(QStringLiteral("DevicePortBase TCmdData.ConcludeWithNoResponse: \"%s\""),
                    {BoundedText(response)});
        if (response.isEmpty())
            return;
        eResult = crFailed;
        SetErrorText(QStringLiteral("No response <> \"%s\""), {BoundedText(response)});
        Msg().Error(QStringLiteral("No response expected <> \"%s\""), {BoundedText(response)});
        if (!fsVariableName.isEmpty())
            Context().Variables().SetValue(fsVariableName, sResponse);
    }
    port.ClearRxData();
    FinishData(eResult);
}

// ---------------------------------------------------------------------------------------------
// Send, WaitForResponse

TCommand* TCmdDataSend::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    fsData = TextValue(csv, 1);
    ReadExpectation(csv, 2, 0x20210A);
    return this;
}

void TCmdDataSend::Start(const QString&)
{
    CheckIdle();
    const QString sData = Context().Variables().InsertValues(fsData);
    if (fbExpectNoResponse || !fsExpected.isEmpty()) {
        Wait();
        Device().SendCmd(sData, -1);
        return;
    }
    Device().SendCmd(sData, 0);
    if (!Device().ErrorText().isEmpty())
        Fail(Device().ErrorText());
    else
        Finish(crDone);
}

TCommand* TCmdDataWaitForRsp::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    RequireFieldCount(csv, 4);
    ReadExpectation(csv, 1, 0x20230A);
    return this;
}

void TCmdDataWaitForRsp::Start(const QString&)
{
    CheckIdle();
    Device().StartTimer(-1);
    Wait();
    // A response that is already in the buffer is evaluated at once.
    Device().RaiseResult();
}

// ---------------------------------------------------------------------------------------------
// Evaluate.Value

TCmdGetValue::TCmdGetValue(TDevice* aOwner) : TCommandOf(aOwner), fClaim(*this, PortBusy(0x20320A)) {}

TCommand* TCmdGetValue::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    fsCmd = TextValue(csv, 1);
    fsStartTag = TextValue(csv, 2);
    fsEndTag = TextValue(csv, 3);
    SetMinValue(csv.GetValueTrimmed(4));
    SetMaxValue(csv.GetValueTrimmed(5));
    if (csv.ValueCount() > 6 && !csv.GetStringTrimmed(6).isEmpty())
        SetVariableName(csv.GetStringTrimmed(6));
    return this;
}

void TCmdGetValue::Start(const QString&)
{
    fClaim.Claim([this] { Conclude(); });
    Device().SendCmd(fsCmd, -1);
}

void TCmdGetValue::Conclude()
{
    TDevicePortBase& port = Device();
    const QString sFailure = PortFailure(port);
    if (!sFailure.isEmpty()) {
        SetErrorText(sFailure);
        FinishValue(crFailed);
        return;
    }
    const QByteArray response = port.GetRxDataEx(Bytes(fsStartTag), Bytes(fsEndTag));
    const QString sResponse = BytesToText(response);
    Msg().Debug(QStringLiteral("DevicePortBase TCmdSend.Conclusion: \"%s\""), {BoundedText(response)});
    if (sResponse.isEmpty())
        return;
    LogValue(sResponse);
    const double rMin = MinValue();
    const double rMax = MaxValue();
    double rValue = 0.0;
    QString sNumber = sResponse;
    while (sNumber.startsWith(QLatin1Char(' ')))
        sNumber.remove(0, 1);
    if (!TextToFloat(sNumber, QLatin1Char('.'), rValue)) {
        SetErrorText(QStringLiteral("Inv. Rsp: \"%s\""), {BoundedText(response)});
        Msg().Error(QStringLiteral("Invalid response: \"%s\""), {BoundedText(response)});
        FinishValue(crFailed);
        return;
    }
    SetMeasurement(rValue, rMin, rMax);
    ECmdResult eResult = crOk;
    if (rMin <= rValue && rValue <= rMax) {
        Msg().Info(QStringLiteral("Response Passed: %g <= %g <= %g"), {rMin, rValue, rMax});
    } else {
        eResult = crFailed;
        SetErrorText(QStringLiteral("%g <= %g <= %g"), {rMin, rValue, rMax});
        Msg().Error(QStringLiteral("Response Failed: %g <= %g <= %g!"), {rMin, rValue, rMax});
    }
    StoreResult(rValue);
    FinishValue(eResult);
}

void TCmdGetValue::FinishValue(ECmdResult eResult)
{
    StopPendingWork();
    Finish(eResult);
}

void TCmdGetValue::StopPendingWork()
{
    // As the data commands: only the holder resets the port.
    if (!fClaim.Release())
        return;
    Device().DisableTimer();
    Device().ClearRxData();
}

} // namespace ports
