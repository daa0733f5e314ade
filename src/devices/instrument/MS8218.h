#pragma once

#include "transport/ByteSink.h"

#include "core/MsgTypes.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace instrument {

class TMS8218Base;

using TNotifyTextMsgEvent =
    std::function<void(TMS8218Base* aSender, TMsgTypeId aType, const QString& aText, TMsgId aId)>;

// The frame decoder of the MS8218 multimeter: a byte sink that the instrument's transport feeds,
// whichever it is (TMS8218Rs232, TMS8218Ftdi). The meter sends its display continuously: a start
// byte 0xA0..0xAF carrying the decimal exponent, the mode byte, the flag byte and five digit bytes
// (further bytes are not read). A frame is decoded when the next start byte arrives.
//
// Threads: fed, reset and read on the main thread, where the transport's bytes arrive.
class TMS8218Base : public ports::IByteSink
{
public:
    static constexpr int ciFrameSize = 8;

    TMS8218Base() = default;
    TMS8218Base(const TMS8218Base&) = delete;
    TMS8218Base& operator=(const TMS8218Base&) = delete;

    // The mode text of a mode code; "unknown mode" for codes the meter does not use.
    static QString ModeText(int iModeCode);

    // Forgets the reading and the bytes collected so far.
    void Reset();
    // Decodes one received byte.
    void Receive(char aByte) override;

    double ModeFactor() const { return FrModeFactor; }
    const QString& Mode() const { return FsMode; }
    int ModeCode() const { return FiModeCode; }
    const QString& ModeAsText() const { return FsModeAsText; }
    bool AutoRange() const { return FbAutoRange; }
    bool RangeOverload() const { return FbRangeOverload; }
    double Value() const { return FrValue; }
    bool Valid() const { return FbValid; }

    void SetOnMsg(TNotifyTextMsgEvent aEvent) { FOnMsg = std::move(aEvent); }

protected:
    void Msg(TMsgTypeId aType, const QString& aText, TMsgId aId);

private:
    void Decode();

    QByteArray fRxBuffer;
    double FrModeFactor = 1.0;
    QString FsMode;
    int FiModeCode = 0;
    QString FsModeAsText;
    bool FbAutoRange = false;
    bool FbRangeOverload = false;
    double FrValue = 0.0;
    bool FbValid = false;
    TNotifyTextMsgEvent FOnMsg;
    // A run of garbled frames is reported once, not every frame.
    bool fbGarbledReported = false;
};

} // namespace instrument
