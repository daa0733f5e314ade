#pragma once

#include "execution/IndicatorStrip.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

// The indicator strip of device tests: records what every read-out was told to show.
class TFakeIndicatorStrip : public IIndicatorStrip
{
public:
    struct TReadOut
    {
        QString sCaption;
        int iDigits = 0;
        std::uint32_t dwColor = 0;
        QString sValue;
        QStringList slValues; // every value in turn
        bool bRemoved = false;
    };

    std::unique_ptr<IIndicatorReadOut> AddReadOut() override;

    // The read-outs in the order they were added, removed ones included.
    const std::vector<std::shared_ptr<TReadOut>>& ReadOuts() const { return fReadOuts; }
    // The read-outs still in the strip.
    int Shown() const;

private:
    std::vector<std::shared_ptr<TReadOut>> fReadOuts;
};
