#pragma once

#include "MsgClasses.h"

#include <QString>

// Where one session's parts report: the same calls as TMsg, with every message marked as coming
// from this channel, so that a sink serving several sessions can tell their lines apart. A channel
// hands its messages to its dispatcher: the process's one unless the session was given its own.
class TMsgChannel
{
public:
    TMsgChannel() = default;
    TMsgChannel(const TMsgChannel&) = delete;
    TMsgChannel& operator=(const TMsgChannel&) = delete;

    TMsgClass& Dispatcher() const
    {
        if (fpForward)
            return fpForward->Dispatcher();
        return fpDispatcher ? *fpDispatcher : TMsgClass::Instance();
    }
    // Sends every message on as aChannel's own (a station's shared device reports as the session
    // that holds it); null ends it.
    void SetForward(TMsgChannel* aChannel) { fpForward = aChannel; }
    // Null goes back to the process's dispatcher.
    void SetDispatcher(TMsgClass* aDispatcher) { fpDispatcher = aDispatcher; }

    bool Shows(TMsgTypeId aType) const { return Dispatcher().Shows(aType); }
    template <typename TBuild>
    void DebugLazy(TBuild aBuild)
    {
        if (Shows(eDebug))
            Debug(aBuild());
    }
    template <typename TBuild>
    void TraceLazy(TBuild aBuild)
    {
        if (Shows(eTrace))
            Trace(aBuild());
    }

    void NewMsg(TMsgTypeId aType, TMsgId aId, const QString& aText);

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
    void Formatted(TMsgTypeId aType, const QString& aText, TFormatArgs aArgs, TMsgId aId);

    TMsgClass* fpDispatcher = nullptr;
    TMsgChannel* fpForward = nullptr;
};
