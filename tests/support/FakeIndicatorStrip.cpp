#include "FakeIndicatorStrip.h"

#include <algorithm>

namespace {

class TRecordingReadOut : public IIndicatorReadOut
{
public:
    explicit TRecordingReadOut(std::shared_ptr<TFakeIndicatorStrip::TReadOut> aState)
        : fState(std::move(aState))
    {}
    ~TRecordingReadOut() override { fState->bRemoved = true; }

    void SetCaption(const QString& sText) override { fState->sCaption = sText; }
    void SetDigits(int iDigits) override
    {
        fState->iDigits = iDigits;
        fState->sValue = QString(iDigits, QLatin1Char('-'));
    }
    void SetValueColor(std::uint32_t dwRgb) override { fState->dwColor = dwRgb; }
    void SetValue(const QString& sValue) override
    {
        fState->sValue = sValue;
        fState->slValues.append(sValue);
    }

private:
    std::shared_ptr<TFakeIndicatorStrip::TReadOut> fState;
};

} // namespace

std::unique_ptr<IIndicatorReadOut> TFakeIndicatorStrip::AddReadOut()
{
    fReadOuts.push_back(std::make_shared<TReadOut>());
    return std::make_unique<TRecordingReadOut>(fReadOuts.back());
}

int TFakeIndicatorStrip::Shown() const
{
    return int(std::count_if(fReadOuts.begin(), fReadOuts.end(),
                             [](const std::shared_ptr<TReadOut>& p) { return !p->bRemoved; }));
}
