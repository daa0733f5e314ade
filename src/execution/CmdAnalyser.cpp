#include "CmdAnalyser.h"

#include "CmdParameters.h"

#include "core/MsgExceptions.h"
#include "core/StrUtilsEx.h"
#include "core/VariableManager.h"

namespace {

bool IsNumberStart(QChar c)
{
    return c.isDigit() || c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('.');
}

// Converts a plain number with "." as decimal point: [sign] digits [. digits] [e [sign] digits].
// Returns 0 on success, otherwise the 1-based position of the first character that does not fit.
int ConvertPlainNumber(const QString& sText, double& rValue)
{
    const int n = sText.size();
    int i = 0;
    auto digits = [&] {
        const int iStart = i;
        while (i < n && sText.at(i).isDigit())
            ++i;
        return i > iStart;
    };
    if (i < n && (sText.at(i) == QLatin1Char('+') || sText.at(i) == QLatin1Char('-')))
        ++i;
    bool bAny = digits();
    if (i < n && sText.at(i) == QLatin1Char('.')) {
        ++i;
        bAny = digits() || bAny;
    }
    if (!bAny)
        return i + 1;
    if (i < n && sText.at(i).toLower() == QLatin1Char('e')) {
        ++i;
        if (i < n && (sText.at(i) == QLatin1Char('+') || sText.at(i) == QLatin1Char('-')))
            ++i;
        if (!digits())
            return i + 1;
    }
    if (i < n)
        return i + 1;
    rValue = sText.toDouble();
    return 0;
}

} // namespace

void TCmdAnalyser::SplitLimit(const QString& sText, QString& sName, double& rValue)
{
    int iNumber = 0;
    while (iNumber < sText.size() && !IsNumberStart(sText.at(iNumber)))
        ++iNumber;
    sName = TrimControl(sText.left(iNumber));
    const QString sNumber = TrimControl(sText.mid(iNumber));
    if (!sName.isEmpty())
        RequireVariableOfType(sName, ectIsFloat, 0x10050A);
    if (!sNumber.isEmpty()) {
        const int iBad = ConvertPlainNumber(sNumber, rValue);
        if (iBad != 0)
            throw EMsg(QStringLiteral("Unknown format for value \"%s\"!"), {sText}, TMsgId(0x100514), iBad);
    }
}

void TCmdAnalyser::SetMinValue(const QString& sText)
{
    SplitLimit(sText, fsMinOffset, frMinValue);
}

void TCmdAnalyser::SetMaxValue(const QString& sText)
{
    SplitLimit(sText, fsMaxOffset, frMaxValue);
}

void TCmdAnalyser::SetVariableName(const QString& sName)
{
    RequireVariableOfType(sName, ectIsFloat, 0x10060A);
    fsVariableName = sName;
}

double TCmdAnalyser::MinValue() const
{
    return fsMinOffset.isEmpty() ? frMinValue
                                 : TVariableManager::Instance().GetAsReal(fsMinOffset) + frMinValue;
}

double TCmdAnalyser::MaxValue() const
{
    return fsMaxOffset.isEmpty() ? frMaxValue
                                 : TVariableManager::Instance().GetAsReal(fsMaxOffset) + frMaxValue;
}

void TCmdAnalyser::StoreResult(double rValue) const
{
    if (!fsVariableName.isEmpty())
        TVariableManager::Instance().SetValue(fsVariableName, rValue);
}
