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

TCommand* TCommand::Init(const QString& sDefinition)
{
    TCommaSeparatedValue csv;
    csv.SetStringLine(sDefinition + csv.Separator());
    QString sLabel = csv.GetValueTrimmed(0);
    // The column name follows the label's closing quote: "Label"§Column.
    const int iLastQuote = sLabel.lastIndexOf(QLatin1Char('"'));
    if (iLastQuote >= 0)
        sLabel = sLabel.mid(iLastQuote + 1);
    const int iMark = sLabel.indexOf(QChar(0x00A7));
    fsLogValName = iMark >= 0 ? sLabel.mid(iMark + 1) : QString();
    if (!fsLogValName.isEmpty() && !Context().ValueLog().Append(fsLogValName))
        Msg().Warning(QStringLiteral("Log value \"%s\" not unique!"), {fsLogValName});
    return this;
}

TCommand* TCommand::Init(const QString& /*sFunctionName*/, const QString& /*sParameter*/)
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
