#include "MsgExceptions.h"

#include <algorithm>

EError::EError(const QString& aMessage)
{
    SetMessage(aMessage);
}

void EError::SetMessage(const QString& aMessage)
{
    FsMessage = aMessage;
    FaMessageUtf8 = aMessage.toUtf8();
}

EMsg::EMsg(TMsgId aId, int aValue) : EError(QString()), FId(aId), FiValue(aValue)
{
    Compose();
}

EMsg::EMsg(TMsgId aId, int aParam, int aValue)
    : EError(QString()), FId(AddParam(aId, aParam)), FiValue(aValue)
{
    Compose();
}

EMsg::EMsg(const QString& aText, TMsgId aId, int aValue)
    : EError(QString()), FId(aId), FiValue(aValue), FsText(aText)
{
    Compose();
}

EMsg::EMsg(const QString& aText, TMsgId aId, int aParam, int aValue)
    : EError(QString()), FId(AddParam(aId, aParam)), FiValue(aValue), FsText(aText)
{
    Compose();
}

EMsg::EMsg(const QString& aText, TFormatArgs aArgs, TMsgId aId, int aParam, int aValue)
    : EError(QString()), FId(AddParam(aId, aParam)), FiValue(aValue), FsText(Format(aText, aArgs))
{
    Compose();
}

EMsg::EMsg(const QString& aText, TFormatArgs aArgs, TMsgId aId, int aValue)
    : EError(QString()), FId(aId), FiValue(aValue), FsText(Format(aText, aArgs))
{
    Compose();
}

TMsgId EMsg::AddParam(TMsgId aId, int aParam)
{
    // A raise site may add a small number (at most 255) to its identifier.
    if (aParam < 0)
        return aId;
    return TMsgId(aId.Value + std::uint32_t(std::min(aParam, 255)));
}

QString EMsg::MsgNo() const
{
    return Format(QStringLiteral("%.6x:%d"), {FId.Value, FiValue});
}

void EMsg::Compose()
{
    if (FsText.isEmpty())
        SetMessage(MsgNo());
    else
        SetMessage(FsText + QStringLiteral("\r\nID: ") + MsgNo());
}

QString ExceptionText(const std::exception& aError)
{
    if (const auto* pError = dynamic_cast<const EError*>(&aError))
        return pError->Message();
    return QString::fromUtf8(aError.what());
}
