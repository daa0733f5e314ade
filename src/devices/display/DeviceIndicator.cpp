#include "DeviceIndicator.h"

#include "core/FormatSettings.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/StrUtilsEx.h"
#include "core/VariableManager.h"
#include "execution/CmdCreateCmd.h"
#include "execution/CmdParameters.h"
#include "execution/IndicatorStrip.h"

namespace display {

namespace {

// A read-out wider than the strip, or without cells, is a mistake in the definition.
const int ciMaxDigits = 64;

} // namespace

QString FormatIndicatorValue(const QString& sText)
{
    QString s = sText;
    RemoveThousandSeparators(s);
    double rValue = 0.0;
    if (!TextToFloat(s, TFormatSettings::App().cDecimalSeparator, rValue))
        return QString();
    return Format(QStringLiteral("%g"), {rValue});
}

// ---------------------------------------------------------------------------------------------
// TDeviceIndicator

TDeviceIndicator::TDeviceIndicator(TDeviceContext& aContext) : TDevice(aContext)
{
    TCmdCreateCmd::AddTo(*this, FunctionTable());
}

const TCmdCreateCmd::TTable& TDeviceIndicator::FunctionTable()
{
    static const TCmdCreateCmd::TTable table{
        {QStringLiteral("TCmdCreateCmd TCmdCreateCmd.Init: %s %s"), 0x13010A, 0x13020A, QStringLiteral("I1")},
        {{"Indicate",
          CreateCommand<TCmdIndicate>,
          "Indicator TCmdIndicate",
          {EParamField::Label, EParamField::Text, EParamField::Text}}}};
    return table;
}

TDeviceIndicator::~TDeviceIndicator() = default;

void TDeviceIndicator::Init(const QString& sDefinition)
{
    const TCommaSeparatedValue csv = ParameterFields(sDefinition);
    RequireFieldCount(csv, 5);
    const QString sText = csv.GetStringTrimmed(2);
    const int iDigits = csv.GetInteger(3);
    if (iDigits < 1 || iDigits > ciMaxDigits)
        throw EError(
            Format(QStringLiteral("Number of digits %d out of range 1..%d!"), {iDigits, ciMaxDigits}));
    // The colour is written as the platform colour value: red in the lowest byte.
    const std::uint32_t dwBgr = std::uint32_t(ParseInteger(QStringLiteral("$") + csv.GetStringTrimmed(4)));
    fdwValueColor = ((dwBgr & 0xFF) << 16) | (dwBgr & 0xFF00) | ((dwBgr >> 16) & 0xFF);
    fiDigits = iDigits;

    if (IIndicatorStrip* pStrip = Context().Indicators()) {
        fDMM = pStrip->AddReadOut();
        fDMM->SetCaption(sText);
        fDMM->SetDigits(fiDigits);
        fDMM->SetValueColor(fdwValueColor);
    }
}

void TDeviceIndicator::Indicate(const QString& sText, const QString& sValue)
{
    if (!fDMM)
        throw EError(QStringLiteral("No indicator strip available"));
    QString s = sValue;
    // The read-out always shows a point.
    s.replace(QLatin1Char(','), QLatin1Char('.'));
    fDMM->SetCaption(sText);
    fDMM->SetValue(s);
}

// ---------------------------------------------------------------------------------------------
// Indicate

TCommand* TCmdIndicate::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    RequireFieldCount(csv, 3);
    fsText = csv.GetString(1);
    fsVariableName = csv.GetString(2);
    if (FormatIndicatorValue(fsVariableName).isEmpty())
        RequireVariable(Context().Variables(), fsVariableName, 0x13030A);
    return this;
}

void TCmdIndicate::Execute(const QString&)
{
    FCmdResult = crUnknown;
    try {
        QString sValue = FormatIndicatorValue(fsVariableName);
        if (sValue.isEmpty())
            sValue = Context().Variables().GetAsStr(fsVariableName);
        Device().Indicate(fsText, sValue);
    } catch (const std::exception& e) {
        const QString sError = Format(QStringLiteral("Cannot indicate value: \"%s\"!"), {ExceptionText(e)});
        Msg().Error(sError);
        SetErrorText(sError);
        Conclude(crFailed);
        return;
    }
    Conclude(crDone);
}

} // namespace display
