#include "CmdAnalyser.h"

#include "CmdParameters.h"
#include "Device.h"

#include "core/MsgExceptions.h"
#include "core/StrUtilsEx.h"
#include "core/VariableManager.h"

namespace {

bool IsNumberStart(QChar c)
{
    return c.isDigit() || c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('.');
}

} // namespace

void TAnalyserLimits::SplitLimit(const QString& sText, QString& sName, double& rValue) const
{
    int iNumber = 0;
    while (iNumber < sText.size() && !IsNumberStart(sText.at(iNumber)))
        ++iNumber;
    sName = TrimControl(sText.left(iNumber));
    const QString sNumber = TrimControl(sText.mid(iNumber));
    if (!sName.isEmpty())
        RequireVariableOfType(fLimitContext.Variables(), sName, ectIsFloat, 0x10050A);
    if (!sNumber.isEmpty()) {
        const int iBad = ConvertPlainNumber(sNumber, rValue);
        if (iBad != 0)
            throw EMsg(QStringLiteral("Unknown format for value \"%s\"!"), {sText}, TMsgId(0x100514), iBad);
    }
}

TCmdAnalyser::TCmdAnalyser(TDevice* aOwner) : TCommand(aOwner), TAnalyserLimits(aOwner->Context()) {}

TAsyncAnalyser::TAsyncAnalyser(TDevice* aOwner) : TAsyncCommand(aOwner), TAnalyserLimits(aOwner->Context()) {}

void TAnalyserLimits::SetMinValue(const QString& sText)
{
    SplitLimit(sText, fsMinOffset, frMinValue);
}

void TAnalyserLimits::SetMaxValue(const QString& sText)
{
    SplitLimit(sText, fsMaxOffset, frMaxValue);
}

void TAnalyserLimits::SetVariableName(const QString& sName)
{
    RequireVariableOfType(fLimitContext.Variables(), sName, ectIsFloat, 0x10060A);
    fsVariableName = sName;
}

double TAnalyserLimits::MinValue() const
{
    return fsMinOffset.isEmpty() ? frMinValue : fLimitContext.Variables().GetAsReal(fsMinOffset) + frMinValue;
}

double TAnalyserLimits::MaxValue() const
{
    return fsMaxOffset.isEmpty() ? frMaxValue : fLimitContext.Variables().GetAsReal(fsMaxOffset) + frMaxValue;
}

void TAnalyserLimits::StoreResult(double rValue) const
{
    if (!fsVariableName.isEmpty())
        fLimitContext.Variables().SetValue(fsVariableName, rValue);
}
