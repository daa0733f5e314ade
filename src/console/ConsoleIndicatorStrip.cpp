#include "ConsoleIndicatorStrip.h"

#include "core/MsgClasses.h"

namespace {

class TConsoleReadOut : public IIndicatorReadOut
{
public:
    void SetCaption(const QString& sText) override { fsCaption = sText; }
    // The "-" per cell that a new read-out shows is no value of the run.
    void SetDigits(int) override {}
    void SetValueColor(std::uint32_t) override {}
    void SetValue(const QString& sValue) override
    {
        TMsg::Info(QStringLiteral("Indicator \"%s\": %s"), {fsCaption, sValue});
    }

private:
    QString fsCaption;
};

} // namespace

std::unique_ptr<IIndicatorReadOut> TConsoleIndicatorStrip::AddReadOut()
{
    return std::make_unique<TConsoleReadOut>();
}
