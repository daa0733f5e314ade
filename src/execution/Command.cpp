#include "Command.h"

#include "Device.h"

#include "core/CommaSeparatedValue.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/ValueLog.h"

TCommand::TCommand(TDevice* aOwner) : FOwner(aOwner) {}

TDeviceContext& TCommand::Context() const
{
    return FOwner->Context();
}

TMsgChannel& TCommand::Msg() const
{
    return FOwner->Context().Msg();
}

QString TCommand::LogColumnName(const QString& sLabelField)
{
    const QString sAfterLabel = sLabelField.mid(sLabelField.lastIndexOf(QLatin1Char('"')) + 1);
    const int iMark = sAfterLabel.indexOf(QChar(0x00A7));
    return iMark >= 0 ? sAfterLabel.mid(iMark + 1) : QString();
}

TCommand* TCommand::Init(const QString& sDefinition)
{
    TCommaSeparatedValue csv;
    csv.SetStringLine(sDefinition + csv.Separator());
    fsLogValName = LogColumnName(csv.GetValueTrimmed(0));
    if (!fsLogValName.isEmpty() && !Context().ValueLog().Append(fsLogValName))
        Msg().Warning(QStringLiteral("Log value \"%s\" not unique!"), {fsLogValName});
    return this;
}

TCommand* TCommand::CommandFor(const QString& /*sFunctionName*/, const QString& /*sParameter*/)
{
    throw EMsg(TMsgId(0x10040A), 0);
}

void TCommand::Cancel()
{
    Msg().Debug(QStringLiteral("TCommand.Cancel"));
    FCmdResult = crCancelled;
}

void TCommand::SetErrorText(const QString& aText)
{
    if (fbAdmitErrorText)
        FsErrorText = aText;
}

void TCommand::SetErrorText(const QString& aFormat, TFormatArgs aArgs)
{
    if (fbAdmitErrorText)
        FsErrorText = Format(aFormat, aArgs);
}

void TCommand::LogValue(const QString& aValue) const
{
    if (!fsLogValName.isEmpty())
        Context().ValueLog().SetValue(fsLogValName, aValue);
}

void TCommand::Conclude(ECmdResult aResult)
{
    FCmdResult = aResult;
    if (FOnResult) {
        // The handler may unassign or replace the event while it runs.
        const TCmdNotifyEvent handler = FOnResult;
        handler(this);
    }
}
