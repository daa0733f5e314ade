#pragma once

#include "DeviceContext.h"

#include "core/MsgChannel.h"
#include "core/MsgUtils.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

class TCommand;
class TDevice;
class TDeviceContext;

// The conclusion of one command execution.
enum ECmdResult : std::uint8_t
{
    crUnknown = 0, // not concluded; a command never reports it
    crDone,        // passed
    crFailed,      // failed
    crCancelled,   // failed: the command was cancelled
    crOk,          // passed, shown with the "ok" image
    crBreak        // passed; the runner pauses afterwards
};

// The number a step judged against its limits, as the result database keeps it.
struct TMeasurement
{
    double rValue = 0.0;
    double rLow = 0.0;
    double rHigh = 0.0;
};

using TCmdNotifyEvent = std::function<void(TCommand* aSender)>;

// Base of all commands: one object per definition line (or one shared stateless object), executed
// by a job and concluding exactly once per execution through OnResult.
class TCommand
{
public:
    explicit TCommand(TDevice* aOwner);
    virtual ~TCommand() = default;

    TCommand(const TCommand&) = delete;
    TCommand& operator=(const TCommand&) = delete;

    // Reads the log-value column name from field 0 of the parameter text and registers it.
    virtual TCommand* Init(const QString& sDefinition);
    // Returns the command that serves a definition line of function sFunctionName (see CommandFor).
    TCommand* Init(const QString& sFunctionName, const QString& sParameter)
    {
        return CommandFor(sFunctionName, sParameter);
    }
    virtual void Execute(const QString& sParameter) = 0;
    virtual void Cancel();

    TDevice* Owner() const { return FOwner; }
    // The owner's session: its variables, value log, settings, devices and message channel.
    TDeviceContext& Context() const;
    TMsgChannel& Msg() const;
    ECmdResult CmdResult() const { return FCmdResult; }
    const QString& ErrorText() const { return FsErrorText; }
    const QString& LogValName() const { return fsLogValName; }
    const TCmdNotifyEvent& OnResult() const { return FOnResult; }
    void SetOnResult(TCmdNotifyEvent aEvent) { FOnResult = std::move(aEvent); }
    // The number the last execution measured and judged, if it measured one; the job clears it
    // before every execution.
    std::optional<TMeasurement> Measurement() const
    {
        return fMeasurement ? std::optional<TMeasurement>(*fMeasurement) : std::nullopt;
    }
    void ClearMeasurement() { fMeasurement.reset(); }

protected:
    // The command that serves a definition line: a factory creates and initialises a new one, a
    // stateless command serves it itself. The base serves none.
    virtual TCommand* CommandFor(const QString& sFunctionName, const QString& sParameter);

    // The value-log column a label field names: the text after the section sign that follows the
    // label's closing quote ("Label"§Column), untrimmed; empty when there is none.
    static QString LogColumnName(const QString& sLabelField);

    void SetErrorText(const QString& aText);
    void SetErrorText(const QString& aFormat, TFormatArgs aArgs);
    // Writes aValue into this command's value-log column, if it has one.
    void LogValue(const QString& aValue) const;
    // Keeps the measured number and its limits for the result database.
    void SetMeasurement(double rValue, double rLow, double rHigh)
    {
        fMeasurement = std::make_unique<TMeasurement>(TMeasurement{rValue, rLow, rHigh});
    }
    // Sets the result and fires OnResult: the one way a command concludes.
    void Conclude(ECmdResult aResult);

    QString fsLogValName;
    bool fbAdmitErrorText = true;
    ECmdResult FCmdResult = crUnknown;

private:
    TDevice* FOwner;
    TCmdNotifyEvent FOnResult;
    QString FsErrorText;
    // Behind a pointer: one command per definition line is kept, most of them never measure, and
    // the command's size counts in a definition of 200,000 lines.
    std::unique_ptr<TMeasurement> fMeasurement;
};
