#pragma once

#include "MsgTypes.h"
#include "MsgUtils.h"

#include <QString>

#include <functional>
#include <memory>

// Receiver of messages: sender, identifier (type in TypeNo) and text.
using TNotifyMsgEvent = std::function<void(const void* aSender, TMsgId aId, const QString& aText)>;
using TNotifyEvent = std::function<void()>;

class TMsgBase
{
public:
    virtual ~TMsgBase() = default;

    const TNotifyMsgEvent& OnNewMsg() const { return FOnNewMsg; }
    void SetOnNewMsg(TNotifyMsgEvent aEvent) { FOnNewMsg = std::move(aEvent); }

    // Passes the message to OnNewMsg with aType written into the identifier's TypeNo byte.
    virtual void NewMsg(TMsgTypeId aType, TMsgId aId, const QString& aText);
    void NewMsg(TMsgTypeId aType, std::uint8_t aUnit, std::uint8_t aMethode, std::uint8_t aParam,
                const QString& aText);
    void NewMsg(const void* aSender, TMsgTypeId aType, std::uint8_t aUnit, std::uint8_t aMethode,
                std::uint8_t aParam, const QString& aText);

private:
    TNotifyMsgEvent FOnNewMsg;
};

// The process-wide dispatcher: filters messages by level and hands each to exactly one sink.
class TMsgClass : public TMsgBase
{
public:
    static TMsgClass& Instance();
    static void ReleaseSingleton();

    void NewMsg(TMsgTypeId aType, TMsgId aId, const QString& aText) override;
    using TMsgBase::NewMsg;
    // The same for a message of a session's channel: the sink receives aSender as the sender.
    void NewMsgFrom(const void* aSender, TMsgTypeId aType, TMsgId aId, const QString& aText);

    // Bit 1 << type for every message type.
    static constexpr std::uint32_t ciAllTypes = 0xFFFFFFFFu;

    // Assigns the sink with the types it shows or keeps (bit 1 << type); the others are dropped
    // before they are formatted. A sink that names no types receives every type.
    void SetOnNewMsg(TNotifyMsgEvent aEvent, std::uint32_t aShownTypes = ciAllTypes);
    void SetShownTypes(std::uint32_t aShownTypes) { fiShownTypes = aShownTypes; }
    // Whether a message of aType reaches a sink: callers skip formatting a line nobody sees.
    bool Shows(TMsgTypeId aType) const
    {
        return aType >= FLevel && (FOnMsgNotice || (OnNewMsg() && (fiShownTypes >> (aType & 31u) & 1u)));
    }

    // Alternative sink: when assigned it receives every message instead of OnNewMsg and reads
    // Id() and Text().
    void SetOnMsgNotice(TNotifyEvent aEvent) { FOnMsgNotice = std::move(aEvent); }
    TMsgId Id() const { return FId; }
    const QString& Text() const { return FsText; }
    // The channel the noticed message came from; null for one through TMsg.
    const void* Sender() const { return fpSender; }

    TMsgTypeId Level() const { return FLevel; }
    void SetLevel(TMsgTypeId aLevel) { FLevel = aLevel; }
    int Flag() const { return FiFlag; }
    void SetFlag(int aFlag) { FiFlag = aFlag; }

    void Debug(const QString& aText, TMsgId aId = TMsgId()) { NewMsg(eDebug, aId, aText); }
    void Trace(const QString& aText, TMsgId aId = TMsgId()) { NewMsg(eTrace, aId, aText); }
    void Info(const QString& aText, TMsgId aId = TMsgId()) { NewMsg(eInfo, aId, aText); }
    void Hint(const QString& aText, TMsgId aId = TMsgId()) { NewMsg(eHint, aId, aText); }
    void Warning(const QString& aText, TMsgId aId = TMsgId()) { NewMsg(eWarning, aId, aText); }
    void Error(const QString& aText, TMsgId aId = TMsgId()) { NewMsg(eError, aId, aText); }
    void Fatal(const QString& aText, TMsgId aId = TMsgId()) { NewMsg(eFatal, aId, aText); }
    void Debug(const QString& aText, TFormatArgs aArgs, TMsgId aId = TMsgId());
    void Trace(const QString& aText, TFormatArgs aArgs, TMsgId aId = TMsgId());
    void Info(const QString& aText, TFormatArgs aArgs, TMsgId aId = TMsgId());
    void Hint(const QString& aText, TFormatArgs aArgs, TMsgId aId = TMsgId());
    void Warning(const QString& aText, TFormatArgs aArgs, TMsgId aId = TMsgId());
    void Error(const QString& aText, TFormatArgs aArgs, TMsgId aId = TMsgId());
    void Fatal(const QString& aText, TFormatArgs aArgs, TMsgId aId = TMsgId());

private:
    TNotifyEvent FOnMsgNotice;
    TMsgId FId;
    QString FsText;
    const void* fpSender = nullptr;
    TMsgTypeId FLevel = eNone;
    int FiFlag = 0;
    std::uint32_t fiShownTypes = ciAllTypes;
};

// The entry point every part of the system reports through.
class TMsg
{
public:
    TMsg() = delete;

    // Whether a message of aType would reach a sink; guards lines that are costly to build.
    static bool Shows(TMsgTypeId aType);
    // Debug and Trace with a text built only when a sink shows the line.
    template <typename TBuild>
    static void DebugLazy(TBuild aBuild)
    {
        if (Shows(eDebug))
            Debug(aBuild());
    }
    template <typename TBuild>
    static void TraceLazy(TBuild aBuild)
    {
        if (Shows(eTrace))
            Trace(aBuild());
    }

    static void Debug(const QString& aText, TMsgId aId = TMsgId());
    static void Trace(const QString& aText, TMsgId aId = TMsgId());
    static void Info(const QString& aText, TMsgId aId = TMsgId());
    static void Hint(const QString& aText, TMsgId aId = TMsgId());
    static void Warning(const QString& aText, TMsgId aId = TMsgId());
    static void Error(const QString& aText, TMsgId aId = TMsgId());
    static void Fatal(const QString& aText, TMsgId aId = TMsgId());
    static void Debug(const QString& aText, TFormatArgs aArgs, TMsgId aId = TMsgId());
    static void Trace(const QString& aText, TFormatArgs aArgs, TMsgId aId = TMsgId());
    static void Info(const QString& aText, TFormatArgs aArgs, TMsgId aId = TMsgId());
    static void Hint(const QString& aText, TFormatArgs aArgs, TMsgId aId = TMsgId());
    static void Warning(const QString& aText, TFormatArgs aArgs, TMsgId aId = TMsgId());
    static void Error(const QString& aText, TFormatArgs aArgs, TMsgId aId = TMsgId());
    static void Fatal(const QString& aText, TFormatArgs aArgs, TMsgId aId = TMsgId());
};
