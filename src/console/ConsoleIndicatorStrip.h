#pragma once

#include "execution/IndicatorStrip.h"

// The indicators of a headless run: every value shown is one information line of the log with
// the read-out's caption.
class TConsoleIndicatorStrip : public IIndicatorStrip
{
public:
    std::unique_ptr<IIndicatorReadOut> AddReadOut() override;
};
