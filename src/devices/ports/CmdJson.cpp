#include "CmdJson.h"

#include "JsonValue.h"

#include "core/CommaSeparatedValue.h"
#include "core/EscTaggedString.h"
#include "core/FormatSettings.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/StrUtilsEx.h"
#include "core/VariableManager.h"
#include "execution/CmdParameters.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

namespace ports {

namespace {

// Tags hold characters 0..255 once their escape tags are replaced.
QByteArray TagBytes(const QString& sText)
{
    QByteArray bytes;
    if (TextToBytes(sText, bytes) < 0)
        bytes = sText.toLatin1();
    return bytes;
}

// JSON travels as UTF-8, so a value with non-ASCII characters reads as the definition writes it;
// a response that is not valid UTF-8 is read one character per byte, like every other response.
QString JsonText(const QByteArray& aResponse)
{
    return aResponse.isValidUtf8() ? QString::fromUtf8(aResponse) : BytesToText(aResponse);
}

// A response in a message, a long one cut to its head.
QString BoundedJsonText(const QByteArray& aResponse)
{
    return JsonText(DumpHead(aResponse)) + DumpRest(aResponse);
}

// One bound of an InRange term, in single precision as the terms are written; a number beyond the
// single-precision range is no bound.
float RangeBound(const QString& sText)
{
    const double rBound = ParseFloat(sText.trimmed(), TFormatSettings::App().cDecimalSeparator);
    if (std::abs(rBound) > double(std::numeric_limits<float>::max()))
        throw EConvertError(Format(QStringLiteral("'%s' is out of range"), {sText.trimmed()}));
    return float(rBound);
}

// lower <= value <= upper in full precision: long double holds every 64-bit integer and every
// float exactly, so a large integer is not rounded onto a bound.
template <class TNumber>
bool InRange(float rLower, TNumber aValue, float rUpper)
{
    const auto value = static_cast<long double>(aValue);
    return static_cast<long double>(rLower) <= value && value <= static_cast<long double>(rUpper);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TCmdDataSendJson

TCommand* TCmdDataSendJson::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    // Raw values: the JSON text needs its quotes.
    fsData = TEscTaggedString::Transform(csv.GetValueTrimmed(1));
    ReadJsonExpectation(csv, 2, 0x20250A);
    return this;
}

void TCmdDataSendJson::ReadJsonExpectation(const TCommaSeparatedValue& csv, int iFirst,
                                           std::uint32_t dwVariableId)
{
    fsStartTag = TEscTaggedString::Transform(csv.GetValueTrimmed(iFirst));
    fsEndTag = TEscTaggedString::Transform(csv.GetValueTrimmed(iFirst + 1));
    LoadExpectedValues(csv.GetValueTrimmed(iFirst + 2));
    fsVariableName.clear();
    if (csv.ValueCount() > iFirst + 3) {
        fsVariableName = csv.GetValueTrimmed(iFirst + 3);
        if (!fsVariableName.isEmpty())
            RequireVariable(Context().Variables(), fsVariableName, dwVariableId);
    }
}

void TCmdDataSendJson::LoadExpectedValues(const QString& sTerms)
{
    fslExpectedResponse.clear();
    if (sTerms.isEmpty())
        return;
    QString sText = sTerms;
    sText.replace(QLatin1Char(':'), QLatin1Char('='));
    // Strict splitting at ",": a term in double quotes runs to its closing quote.
    QStringList terms;
    QString sTerm;
    bool bQuoted = false;
    for (int i = 0; i < sText.size(); ++i) {
        const QChar c = sText[i];
        if (bQuoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < sText.size() && sText[i + 1] == QLatin1Char('"')) {
                    sTerm += c;
                    ++i;
                } else {
                    bQuoted = false;
                }
            } else {
                sTerm += c;
            }
        } else if (c == QLatin1Char('"') && sTerm.trimmed().isEmpty()) {
            bQuoted = true;
        } else if (c == QLatin1Char(',')) {
            terms << sTerm;
            sTerm.clear();
        } else {
            sTerm += c;
        }
    }
    terms << sTerm;
    for (const QString& sRaw : terms) {
        const QString sItem = sRaw.trimmed();
        const int iEquals = sItem.indexOf(QLatin1Char('='));
        const QString sName = iEquals < 0 ? sItem : sItem.left(iEquals);
        QString sValue =
            iEquals < 0 ? QString() : TEscTaggedString::Transform(sItem.mid(iEquals + 1).trimmed());
        if (sValue.startsWith(QLatin1Char('"'))) {
            const int iClose = sValue.indexOf(QLatin1Char('"'), 1);
            sValue = iClose < 0 ? sValue.mid(1) : sValue.mid(1, iClose - 1);
        }
        if (sValue.isEmpty())
            throw EError(Format(QStringLiteral("Invalid key value term: «%s»!"), {sItem}));
        Msg().Debug(QStringLiteral("DevicePortBase TCmdDataSendJson.LoadExpectedValues %d: [%s] [%s]"),
                    {int(fslExpectedResponse.size()), sName, sValue});
        fslExpectedResponse.emplace_back(sName, sValue);
    }
}

void TCmdDataSendJson::Start(const QString&)
{
    CheckIdle();
    const QString sData = Context().Variables().InsertValues(fsData);
    WaitJson();
    Device().SendCmd(sData, -1);
}

void TCmdDataSendJson::WaitJson()
{
    WaitWith([this] { ConcludeJson(); });
}

void TCmdDataSendJson::ConcludeJson()
{
    TDevicePortBase& port = Device();
    if (!port.ErrorText().isEmpty()) {
        SetErrorText(port.ErrorText());
        FinishData(crFailed);
        return;
    }
    if (!port.IsTimeoutTimerEnable()) {
        SetErrorText(QStringLiteral("Timeout!"));
        Msg().Error(QStringLiteral("Timeout at port \"%s\"!"), {port.PortId()});
        FinishData(crFailed);
        return;
    }
    const QByteArray received = port.GetRxDataEx(TagBytes(fsStartTag), TagBytes(fsEndTag));
    const QString sResponse = JsonText(received);
    Msg().Debug(QStringLiteral("TCmdDataSendJson TCmdSend.Conclusion: \"%s\""), {BoundedJsonText(received)});
    if (sResponse.isEmpty())
        return;
    fsLastValue.clear();
    const std::optional<TJsonValue> response = TJsonValue::Parse(sResponse);
    if (!response) {
        SetErrorText(QStringLiteral("No valid JSON response!"));
        Msg().Error(QStringLiteral("No valid JSON response: \"%s\"!"), {BoundedJsonText(received)});
        FinishData(crFailed);
        return;
    }
    ECmdResult eResult = crOk;
    for (const TTerm& term : fslExpectedResponse) {
        if (!CheckTerm(*response, term)) {
            eResult = crFailed;
            break;
        }
    }
    LogValue(fsLastValue);
    if (!fsVariableName.isEmpty() && !Context().Variables().Update(fsVariableName, fsLastValue)) {
        eResult = crFailed;
        SetErrorText(QStringLiteral("Update %s with \"%s\" failed!"), {fsVariableName, fsLastValue});
        Msg().Error(QStringLiteral("Response Failed: Invalid data type for variable %s"), {fsVariableName});
    }
    FinishData(eResult);
}

bool TCmdDataSendJson::CheckTerm(const TJsonValue& aResponse, const TTerm& aTerm)
{
    const auto& [sPath, sExpected] = aTerm;
    try {
        const std::optional<TJsonValue> value = aResponse.Find(sPath);
        if (sExpected.startsWith(QLatin1String("InRange(")))
            return CheckRange(value ? *value : TJsonValue::Parse(QStringLiteral("null")).value(), aTerm);
        const std::optional<QString> text = value ? value->ToText() : std::nullopt;
        if (!text) {
            FailTerm(Format(QStringLiteral("Response \"%s\" no found!"), {sPath}));
            return false;
        }
        fsLastValue = *text;
        if (MatchWildcard(*text, sExpected)) {
            Msg().Info(QStringLiteral("Response \"%s\" passed: Expected= \"%s\" = \"%s\""),
                       {sPath, sExpected, *text});
            return true;
        }
        SetErrorText(QStringLiteral("%s: \"%s\"<>\"%s\""), {sPath, sExpected, *text});
        Msg().Error(QStringLiteral("Response \"%s\" failed: Expected= \"%s\" <> \"%s\"!"),
                    {sPath, sExpected, *text});
        return false;
    } catch (const std::exception& e) {
        FailTerm(Format(QStringLiteral("Response \"%s\" failed: %s!"), {sPath, ExceptionText(e)}));
        return false;
    }
}

void TCmdDataSendJson::FailTerm(const QString& sText)
{
    // The step names this cause, not one left from an earlier run of the same line.
    SetErrorText(sText);
    Msg().Error(sText);
}

bool TCmdDataSendJson::CheckRange(const TJsonValue& aValue, const TTerm& aTerm)
{
    const auto& [sPath, sExpected] = aTerm;
    const std::optional<std::int64_t> iValue = aValue.ToInteger();
    const std::optional<double> rFloat = iValue ? std::nullopt : aValue.ToFloat();
    if (iValue) {
        fsLastValue = QString::number(*iValue);
    } else if (rFloat) {
        fsLastValue = Format(QStringLiteral("%g"), {*rFloat});
    } else {
        SetErrorText(QStringLiteral("Invalid number in \"%s\""), {sPath});
        Msg().Error(QStringLiteral("Response \"%s\" failed: Invalid number!"), {sPath});
        return false;
    }
    const double rValue = iValue ? double(*iValue) : *rFloat;
    // The text between "InRange(" and its matching ")".
    const int iOpen = sExpected.indexOf(QLatin1Char('('));
    int iDepth = 0;
    int iClose = -1;
    for (int i = iOpen; i < sExpected.size(); ++i) {
        if (sExpected[i] == QLatin1Char('('))
            ++iDepth;
        else if (sExpected[i] == QLatin1Char(')') && --iDepth == 0) {
            iClose = i;
            break;
        }
    }
    const QString sRange = sExpected.mid(iOpen + 1, (iClose < 0 ? sExpected.size() : iClose) - iOpen - 1);
    const int iDots = sRange.indexOf(QLatin1String(".."));
    float rLower = 0;
    float rUpper = 0;
    try {
        rLower = RangeBound(iDots < 0 ? sRange : sRange.left(iDots));
        rUpper = RangeBound(iDots < 0 ? QString() : sRange.mid(iDots + 2));
    } catch (const std::exception& e) {
        FailTerm(
            Format(QStringLiteral("Invalid range definition: \"%s\" - %s!"), {sExpected, ExceptionText(e)}));
        return false;
    }
    // A step keeps one number: its first range term's.
    if (!Measurement())
        SetMeasurement(rValue, double(rLower), double(rUpper));
    if (iValue ? InRange(rLower, *iValue, rUpper) : InRange(rLower, rValue, rUpper)) {
        Msg().Info(QStringLiteral("Response \"%s\" passed: %g <= %.4g <= %g"),
                   {sPath, double(rLower), rValue, double(rUpper)});
        return true;
    }
    SetErrorText(QStringLiteral("%s: %g <= %.4g <= %g"), {sPath, double(rLower), rValue, double(rUpper)});
    Msg().Error(QStringLiteral("Response \"%s\" failed: %g <= %.4g <= %g!"),
                {sPath, double(rLower), rValue, double(rUpper)});
    return false;
}

// ---------------------------------------------------------------------------------------------
// TCmdDataWaitForJson

TCommand* TCmdDataWaitForJson::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    ReadJsonExpectation(ParameterFields(sParameter), 1, 0x20270A);
    return this;
}

void TCmdDataWaitForJson::Start(const QString&)
{
    CheckIdle();
    Device().StartTimer(-1);
    WaitJson();
    // A response already in the buffer is checked at once.
    Device().RaiseResult();
}

} // namespace ports
