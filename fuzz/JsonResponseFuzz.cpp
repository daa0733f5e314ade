// A JSON function's terms and a device's response. The first line is the terms field as a
// definition writes it ("state:ready, count:InRange(1..5)"), the rest the response bytes. The terms
// are read as the function reads them when loading; each term's path is looked up in the
// response and converted as the checks convert it. Aborts when a path's value differs from
// looking up its head and then the rest, or when the number conversions disagree.

#include "FuzzSupport.h"

#include "devices/ports/CmdJson.h"
#include "devices/ports/JsonValue.h"

#include "core/EscTaggedString.h"
#include "core/MsgExceptions.h"
#include "core/StrUtilsEx.h"

#include <cmath>
#include <exception>
#include <optional>

using ports::TJsonValue;

namespace {

// What the checks see of a value: "-" for no value, "#" for a value without text.
QString Seen(const std::optional<TJsonValue>& value)
{
    if (!value)
        return QStringLiteral("-");
    const std::optional<QString> text = value->ToText();
    return text ? QStringLiteral("=") + *text : QStringLiteral("#");
}

void CheckConversions(const TJsonValue& value)
{
    const std::optional<std::int64_t> iValue = value.ToInteger();
    const std::optional<double> rValue = value.ToFloat();
    const std::optional<QString> text = value.ToText();
    FuzzCheck(!rValue || std::isfinite(*rValue), "a number is finite");
    FuzzCheck(!iValue || (rValue && *rValue == double(*iValue)), "an integer is a number of the same value");
    if (rValue && text) {
        // The text of a number reads back as the same number.
        if (const std::optional<TJsonValue> again = TJsonValue::Parse(*text)) {
            const std::optional<double> rAgain = again->ToFloat();
            FuzzCheck(!rAgain || *rAgain == *rValue, "a number's text reads back as the number");
        }
    }
}

// Every split of the path between two of its steps ("a.b[1]" at "." and "[") finds the same as
// the whole path.
void CheckPath(const TJsonValue& response, const QString& sPath)
{
    const std::optional<TJsonValue> whole = response.Find(sPath);
    const QString sWhole = Seen(whole);
    if (whole)
        CheckConversions(*whole);
    for (int i = 0; i < sPath.size(); ++i) {
        if (sPath[i] == QLatin1Char('[')) {
            const int iClose = sPath.indexOf(QLatin1Char(']'), i);
            if (iClose < 0)
                break;
            if (i > 0) {
                const std::optional<TJsonValue> head = response.Find(sPath.left(i));
                const std::optional<TJsonValue> tail = head ? head->Find(sPath.mid(i)) : std::nullopt;
                FuzzCheck(Seen(tail) == sWhole, "a path split before an index finds the same");
            }
            i = iClose;
        } else if (sPath[i] == QLatin1Char('.') && i > 0 && sPath[i - 1] != QLatin1Char('.')) {
            // A dot at the start or after a dot begins a step to the empty name, not a split.
            const std::optional<TJsonValue> head = response.Find(sPath.left(i));
            const std::optional<TJsonValue> tail = head ? head->Find(sPath.mid(i + 1)) : std::nullopt;
            FuzzCheck(Seen(tail) == sWhole, "a path split at a dot finds the same");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    TEscTaggedString::Instance().AddDefaultTags();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    const QByteArray aInput(reinterpret_cast<const char*>(pData), qsizetype(nSize));
    const qsizetype iBreak = aInput.indexOf('\n');
    const QByteArray aTerms = iBreak < 0 ? aInput : aInput.left(iBreak);
    const QByteArray aResponse = iBreak < 0 ? QByteArray() : aInput.mid(iBreak + 1);

    std::vector<ports::TCmdDataSendJson::TTerm> terms;
    ports::TCmdDataSendJson command(nullptr);
    try {
        command.Init(QStringLiteral("\"j\";{};;\\n;") + QString::fromUtf8(aTerms));
        terms = command.ExpectedResponse();
    } catch (const EError&) {
    }
    for (const auto& [sPath, sExpected] : terms)
        FuzzCheck(!sExpected.isEmpty(), "every term expects something");

    // As the functions decode a response: UTF-8, else one character per byte.
    const QString sResponse = aResponse.isValidUtf8() ? QString::fromUtf8(aResponse) : BytesToText(aResponse);
    const std::optional<TJsonValue> response = TJsonValue::Parse(sResponse);
    if (!response)
        return 0;
    FuzzCheck(Seen(response->Find(QString())) == Seen(response), "the empty path is the whole value");
    CheckConversions(*response);
    for (const auto& [sPath, sExpected] : terms) {
        CheckPath(*response, sPath);
        if (const std::optional<TJsonValue> value = response->Find(sPath)) {
            if (const std::optional<QString> text = value->ToText())
                MatchWildcard(*text, sExpected);
        }
    }
    return 0;
}
