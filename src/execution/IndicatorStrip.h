#pragma once

#include <QString>

#include <cstdint>
#include <memory>

// One seven-segment read-out with its caption in the main window's indicator strip. Destroying it
// removes it from the strip.
class IIndicatorReadOut
{
public:
    virtual ~IIndicatorReadOut() = default;

    virtual void SetCaption(const QString& sText) = 0;
    // The number of digit cells.
    virtual void SetDigits(int iDigits) = 0;
    // The colour of lit segments as 0xRRGGBB.
    virtual void SetValueColor(std::uint32_t dwRgb) = 0;
    // The text shown; characters the read-out cannot show blank it.
    virtual void SetValue(const QString& sValue) = 0;
};

// The strip of read-outs above the test tree; read-outs line up from the left in the order they
// were added, and the strip hides while it holds none.
class IIndicatorStrip
{
public:
    virtual ~IIndicatorStrip() = default;
    virtual std::unique_ptr<IIndicatorReadOut> AddReadOut() = 0;
};
