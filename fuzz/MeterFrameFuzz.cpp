// The multimeter's frame decoder fed what a serial line delivers: the input's first byte sets the
// chunk size, the second which chunks follow a reset (the transport opened again), the rest are
// the received bytes. Aborts when a reading changes on a byte that is not a start byte, when a
// reading is reported from a frame that did not begin with a start byte, is short or holds a
// digit above 9, when its value is not the frame's, or when a run of garbled frames is reported
// more than once.

#include "FuzzSupport.h"

#include "devices/instrument/MS8218.h"

#include <cmath>
#include <optional>

namespace {

// The decoder, fed directly: it has no transport of its own.
using TMeter = instrument::TMS8218Base;

bool IsStartByte(std::uint8_t b)
{
    return (b & 0xF0) == 0xA0;
}

// The reading a complete frame shows, or nothing when it is not a reading.
struct TReading
{
    double rValue;
    int iMode;
    bool bAutoRange;
    bool bOverload;
};

std::optional<TReading> Reading(const QByteArray& aFrame)
{
    const auto byte = [&](int i) { return static_cast<std::uint8_t>(aFrame.at(i)); };
    if (aFrame.size() < instrument::TMS8218Base::ciFrameSize || !IsStartByte(byte(0)))
        return std::nullopt;
    int iDigits = 0;
    for (int i = 3; i < 8; ++i) {
        if (byte(i) > 9)
            return std::nullopt;
        iDigits = iDigits * 10 + byte(i);
    }
    double rValue = iDigits * std::pow(10.0, byte(0) & 0x0F);
    if (byte(2) & 0x20)
        rValue = -rValue;
    return TReading{rValue, byte(1) & 0x1F, (byte(2) & 0x10) != 0, (byte(1) & 0x20) != 0};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    if (nSize < 2)
        return 0;
    const std::size_t nChunk = (pData[0] & 0x3F) + 1;
    const std::uint8_t uResets = pData[1];
    TMeter meter;
    int iGarbledMessages = 0;
    meter.SetOnMsg([&](instrument::TMS8218Base*, TMsgTypeId, const QString& sText, TMsgId) {
        if (sText.startsWith(QLatin1String("Garbled frame dropped: ")))
            ++iGarbledMessages;
    });

    // The frame being received, as far as it began with a start byte.
    QByteArray aFrame;
    bool bFrameFromStart = false;
    int iGarbledSinceGood = 0;
    bool bValid = false;
    double rValue = 0.0;
    std::size_t iChunk = 0;
    for (std::size_t i = 2; i < nSize; ++i) {
        if ((i - 2) % nChunk == 0) {
            if ((uResets >> (iChunk++ % 8)) & 1) {
                meter.Reset();
                FuzzCheck(!meter.Valid(), "a reset forgets the reading");
                aFrame.clear();
                bFrameFromStart = false;
                bValid = false;
            }
        }
        const std::uint8_t b = pData[i];
        const int iMessagesBefore = iGarbledMessages;
        meter.Receive(char(b));
        if (!IsStartByte(b)) {
            FuzzCheck(meter.Valid() == bValid && (!bValid || meter.Value() == rValue),
                      "only a start byte changes the reading");
            FuzzCheck(iGarbledMessages == iMessagesBefore, "only a start byte completes a frame");
            aFrame.append(char(b));
            continue;
        }
        // The frame before this start byte is complete now.
        const std::optional<TReading> reading = bFrameFromStart ? Reading(aFrame) : std::nullopt;
        if (reading) {
            FuzzCheck(meter.Valid(), "a complete frame is a reading");
            FuzzCheck(meter.Value() == reading->rValue, "the value is the frame's");
            FuzzCheck(meter.ModeCode() == reading->iMode && meter.AutoRange() == reading->bAutoRange &&
                          meter.RangeOverload() == reading->bOverload,
                      "mode and flags are the frame's");
            FuzzCheck(meter.Mode() == instrument::TMS8218Base::ModeText(reading->iMode),
                      "the mode has its text");
            bValid = true;
            rValue = reading->rValue;
            iGarbledSinceGood = 0;
        } else {
            FuzzCheck(meter.Valid() == bValid && (!bValid || meter.Value() == rValue),
                      "no reading from a frame that is none");
            iGarbledSinceGood += iGarbledMessages - iMessagesBefore;
            FuzzCheck(iGarbledSinceGood <= 1, "a run of garbled frames is reported once");
        }
        aFrame = QByteArray(1, char(b));
        bFrameFromStart = true;
    }
    return 0;
}
