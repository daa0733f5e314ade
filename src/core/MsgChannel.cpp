#include "MsgChannel.h"

void TMsgChannel::NewMsg(TMsgTypeId aType, TMsgId aId, const QString& aText)
{
    if (fpForward) {
        fpForward->NewMsg(aType, aId, aText);
        return;
    }
    Dispatcher().NewMsgFrom(this, aType, aId, aText);
}

void TMsgChannel::Formatted(TMsgTypeId aType, const QString& aText, TFormatArgs aArgs, TMsgId aId)
{
    // The text is formatted only for a line a sink shows.
    if (Shows(aType))
        NewMsg(aType, aId, Format(aText, aArgs));
}

void TMsgChannel::Debug(const QString& aText, TFormatArgs aArgs, TMsgId aId)
{
    Formatted(eDebug, aText, aArgs, aId);
}
void TMsgChannel::Trace(const QString& aText, TFormatArgs aArgs, TMsgId aId)
{
    Formatted(eTrace, aText, aArgs, aId);
}
void TMsgChannel::Info(const QString& aText, TFormatArgs aArgs, TMsgId aId)
{
    Formatted(eInfo, aText, aArgs, aId);
}
void TMsgChannel::Hint(const QString& aText, TFormatArgs aArgs, TMsgId aId)
{
    Formatted(eHint, aText, aArgs, aId);
}
void TMsgChannel::Warning(const QString& aText, TFormatArgs aArgs, TMsgId aId)
{
    Formatted(eWarning, aText, aArgs, aId);
}
void TMsgChannel::Error(const QString& aText, TFormatArgs aArgs, TMsgId aId)
{
    Formatted(eError, aText, aArgs, aId);
}
void TMsgChannel::Fatal(const QString& aText, TFormatArgs aArgs, TMsgId aId)
{
    Formatted(eFatal, aText, aArgs, aId);
}
