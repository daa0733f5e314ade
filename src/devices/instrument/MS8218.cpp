#include "MS8218.h"

#include "core/MsgUtils.h"
#include "core/StrUtilsEx.h"

#include <cmath>

namespace instrument {

namespace {

bool IsStartByte(char aByte)
{
    return (static_cast<std::uint8_t>(aByte) & 0xF0u) == 0xA0u;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Decoder

QString TMS8218Base::ModeText(int iModeCode)
{
    static const char* const caModes[] = {"Volt AC",
                                          nullptr,
                                          "Volt DC",
                                          "Volt DC+AC",
                                          "Millivolt DC",
                                          "Millivolt AC",
                                          "Millivolt DC+AC",
                                          "Frequenz",
                                          "Pulsweite",
                                          "Diode Test",
                                          "Ohm",
                                          "Ohm (Buzzer)",
                                          "Kapazit\u00e4t",
                                          "Mikroampere DC",
                                          "Mikroampere AC ",
                                          "Mikroampere DC+AC",
                                          "Milliampere DC",
                                          "Milliampere AC",
                                          "Milliampere DC+AC",
                                          "Ampere DC",
                                          "Ampere AC",
                                          "Ampere DC+AC}"};
    constexpr int ciCount = int(sizeof(caModes) / sizeof(caModes[0]));
    if (iModeCode < 0 || iModeCode >= ciCount || !caModes[iModeCode])
        return QStringLiteral("unknown mode");
    return QString::fromUtf8(caModes[iModeCode]);
}

void TMS8218Base::Reset()
{
    FbValid = false;
    fRxBuffer.clear();
}

void TMS8218Base::Receive(char aByte)
{
    if (IsStartByte(aByte)) {
        if (fRxBuffer.size() >= ciFrameSize)
            Decode();
        fRxBuffer.clear();
    }
    // Bytes after the digits are not read: a line that sends no start byte must not grow the buffer.
    if (fRxBuffer.size() < ciFrameSize)
        fRxBuffer.append(aByte);
}

void TMS8218Base::Decode()
{
    // What was collected after a reset, before the first start byte, is the tail of a frame whose
    // head was dropped: its exponent and mode would be read from the wrong bytes.
    if (!IsStartByte(fRxBuffer.at(0)))
        return;
    const auto byte = [this](int i) { return static_cast<std::uint8_t>(fRxBuffer.at(i)); };
    int iDigits = 0;
    for (int i = 3; i < ciFrameSize; ++i) {
        if (byte(i) > 9) {
            // A line disturbance, not a reading: drop the frame and keep the last good one.
            if (!fbGarbledReported) {
                fbGarbledReported = true;
                Msg(eDebug, QStringLiteral("Garbled frame dropped: ") + HexDump(BytesToText(fRxBuffer)),
                    TMsgId(0x310400));
            }
            return;
        }
        iDigits = iDigits * 10 + byte(i);
    }
    fbGarbledReported = false;
    const int iExponent = byte(0) & 0x0F;
    FiModeCode = byte(1) & 0x1F;
    FsModeAsText = ModeText(FiModeCode);
    FsMode = FsModeAsText;
    FbAutoRange = (byte(2) & 0x10) != 0;
    FbRangeOverload = (byte(1) & 0x20) != 0;
    FrValue = iDigits * std::pow(10.0, iExponent) * FrModeFactor;
    if ((byte(2) & 0x20) != 0)
        FrValue = -FrValue;
    FbValid = true;
}

void TMS8218Base::Msg(TMsgTypeId aType, const QString& aText, TMsgId aId)
{
    if (FOnMsg)
        FOnMsg(this, aType, aText, aId);
}

} // namespace instrument
