#include "MsgClasses.h"

namespace {

std::unique_ptr<TMsgClass>& Singleton()
{
    static std::unique_ptr<TMsgClass> instance;
    return instance;
}

} // namespace

void TMsgBase::NewMsg(TMsgTypeId aType, TMsgId aId, const QString& aText)
{
    if (FOnNewMsg)
        FOnNewMsg(this, aId.WithType(aType), aText);
}

void TMsgBase::NewMsg(TMsgTypeId aType, std::uint8_t aUnit, std::uint8_t aMethode, std::uint8_t aParam,
                      const QString& aText)
{
    NewMsg(this, aType, aUnit, aMethode, aParam, aText);
}

void TMsgBase::NewMsg(const void* aSender, TMsgTypeId aType, std::uint8_t aUnit, std::uint8_t aMethode,
                      std::uint8_t aParam, const QString& aText)
{
    if (FOnNewMsg)
        FOnNewMsg(aSender, TMsgId::FromBytes(aType, aUnit, aMethode, aParam), aText);
}

TMsgClass& TMsgClass::Instance()
{
    auto& instance = Singleton();
    if (!instance)
        instance = std::make_unique<TMsgClass>();
    return *instance;
}

void TMsgClass::ReleaseSingleton()
{
    Singleton().reset();
}

void TMsgClass::SetOnNewMsg(TNotifyMsgEvent aEvent, std::uint32_t aShownTypes)
{
    TMsgBase::SetOnNewMsg(std::move(aEvent));
    fiShownTypes = aShownTypes;
}

void TMsgClass::NewMsg(TMsgTypeId aType, TMsgId aId, const QString& aText)
{
    NewMsgFrom(nullptr, aType, aId, aText);
}

void TMsgClass::NewMsgFrom(const void* aSender, TMsgTypeId aType, TMsgId aId, const QString& aText)
{
    if (!Shows(aType))
        return;
    if (FOnMsgNotice) {
        FId = aId.WithType(aType);
        FsText = aText;
        fpSender = aSender;
        FOnMsgNotice();
        return;
    }
    if (!aSender) {
        TMsgBase::NewMsg(aType, aId, aText);
        return;
    }
    if (OnNewMsg())
        OnNewMsg()(aSender, aId.WithType(aType), aText);
}

void TMsgClass::Debug(const QString& aText, TFormatArgs aArgs, TMsgId aId)
{
    if (Shows(eDebug))
        NewMsg(eDebug, aId, Format(aText, aArgs));
}
void TMsgClass::Trace(const QString& aText, TFormatArgs aArgs, TMsgId aId)
{
    if (Shows(eTrace))
        NewMsg(eTrace, aId, Format(aText, aArgs));
}
void TMsgClass::Info(const QString& aText, TFormatArgs aArgs, TMsgId aId)
{
    if (Shows(eInfo))
        NewMsg(eInfo, aId, Format(aText, aArgs));
}
void TMsgClass::Hint(const QString& aText, TFormatArgs aArgs, TMsgId aId)
{
    if (Shows(eHint))
        NewMsg(eHint, aId, Format(aText, aArgs));
}
void TMsgClass::Warning(const QString& aText, TFormatArgs aArgs, TMsgId aId)
{
    if (Shows(eWarning))
        NewMsg(eWarning, aId, Format(aText, aArgs));
}
void TMsgClass::Error(const QString& aText, TFormatArgs aArgs, TMsgId aId)
{
    if (Shows(eError))
        NewMsg(eError, aId, Format(aText, aArgs));
}
void TMsgClass::Fatal(const QString& aText, TFormatArgs aArgs, TMsgId aId)
{
    if (Shows(eFatal))
        NewMsg(eFatal, aId, Format(aText, aArgs));
}

bool TMsg::Shows(TMsgTypeId aType)
{
    return TMsgClass::Instance().Shows(aType);
}

void TMsg::Debug(const QString& aText, TMsgId aId)
{
    TMsgClass::Instance().NewMsg(eDebug, aId, aText);
}
void TMsg::Trace(const QString& aText, TMsgId aId)
{
    TMsgClass::Instance().NewMsg(eTrace, aId, aText);
}
void TMsg::Info(const QString& aText, TMsgId aId)
{
    TMsgClass::Instance().NewMsg(eInfo, aId, aText);
}
void TMsg::Hint(const QString& aText, TMsgId aId)
{
    TMsgClass::Instance().NewMsg(eHint, aId, aText);
}
void TMsg::Warning(const QString& aText, TMsgId aId)
{
    TMsgClass::Instance().NewMsg(eWarning, aId, aText);
}
void TMsg::Error(const QString& aText, TMsgId aId)
{
    TMsgClass::Instance().NewMsg(eError, aId, aText);
}
void TMsg::Fatal(const QString& aText, TMsgId aId)
{
    TMsgClass::Instance().NewMsg(eFatal, aId, aText);
}
void TMsg::Debug(const QString& aText, TFormatArgs aArgs, TMsgId aId)
{
    if (Shows(eDebug))
        Debug(Format(aText, aArgs), aId);
}
void TMsg::Trace(const QString& aText, TFormatArgs aArgs, TMsgId aId)
{
    if (Shows(eTrace))
        Trace(Format(aText, aArgs), aId);
}
void TMsg::Info(const QString& aText, TFormatArgs aArgs, TMsgId aId)
{
    if (Shows(eInfo))
        Info(Format(aText, aArgs), aId);
}
void TMsg::Hint(const QString& aText, TFormatArgs aArgs, TMsgId aId)
{
    if (Shows(eHint))
        Hint(Format(aText, aArgs), aId);
}
void TMsg::Warning(const QString& aText, TFormatArgs aArgs, TMsgId aId)
{
    if (Shows(eWarning))
        Warning(Format(aText, aArgs), aId);
}
void TMsg::Error(const QString& aText, TFormatArgs aArgs, TMsgId aId)
{
    if (Shows(eError))
        Error(Format(aText, aArgs), aId);
}
void TMsg::Fatal(const QString& aText, TFormatArgs aArgs, TMsgId aId)
{
    if (Shows(eFatal))
        Fatal(Format(aText, aArgs), aId);
}
