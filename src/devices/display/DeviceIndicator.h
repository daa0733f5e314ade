#pragma once

#include "execution/CmdCreateCmd.h"
#include "execution/CommandOf.h"
#include "execution/Device.h"

#include <cstdint>
#include <memory>

class IIndicatorReadOut;

namespace display {

// The text a number written in a definition shows: thousand-group separators removed, converted
// with the application's decimal separator and written in the "%g" form; empty when the text is
// no number.
QString FormatIndicatorValue(const QString& sText);

// Shows values to the operator on a seven-segment read-out with a caption, in the window's
// indicator strip.
class TDeviceIndicator : public TDevice
{
public:
    explicit TDeviceIndicator(TDeviceContext& aContext);
    ~TDeviceIndicator() override;

    // The device's functions, read by its registration and its constructor.
    static const TCmdCreateCmd::TTable& FunctionTable();

    static QString KeyName() { return QStringLiteral("Indicator"); }
    // Device.Create(Indicator; name; caption; digits; colour as hexadecimal BBGGRR).
    void Init(const QString& sDefinition) override;

    // The caption and the value; every "," of the value shows as ".".
    void Indicate(const QString& sText, const QString& sValue);

    // The colour of lit segments as 0xRRGGBB.
    std::uint32_t ValueColor() const { return fdwValueColor; }
    int Digits() const { return fiDigits; }

private:
    // The read-out in the strip; none where the program has no strip (a check of the definition).
    std::unique_ptr<IIndicatorReadOut> fDMM;
    int fiDigits = 0;
    std::uint32_t fdwValueColor = 0;
};

class TCmdIndicate : public TCommandOf<TDeviceIndicator>
{
public:
    using TCommandOf::TCommandOf;
    TCommand* Init(const QString& sParameter) override;
    void Execute(const QString& sParameter) override;

private:
    QString fsText;
    // A number, or the name of a variable whose value is shown.
    QString fsVariableName;
};

} // namespace display
