#pragma once

#include "execution/Command.h"

#include <QString>

#include <cstdint>

namespace sys {

class IWindowSystem;

// "ExistWindow": whether a window with exactly this title is open.
class TCmdExistWindow : public TCommand
{
public:
    using TCommand::TCommand;
    TCommand* Init(const QString& sParameter) override;
    void Execute(const QString& sParameter) override;

    const QString& WindowCaption() const { return fsWindowCaption; }

private:
    QString fsWindowCaption;
};

// "SendKey": a character to the window of that title, or a key press to the focused window.
class TCmdSendKey : public TCommand
{
public:
    using TCommand::TCommand;
    TCommand* Init(const QString& sParameter) override;
    void Execute(const QString& sParameter) override;

    std::uint8_t KeyCode() const { return fbyKeyCode; }
    const QString& WindowCaption() const { return fsWindowCaption; }
    bool Monitored() const { return fbMonitored; }

private:
    std::uint8_t fbyKeyCode = 0;
    QString fsWindowCaption;
    bool fbMonitored = false;
};

// "OpenTZD": hands over to another definition file, which the program loads once this step's
// event is over; the step itself does not conclude then.
class TCmdOpenTzd : public TCommand
{
public:
    using TCommand::TCommand;
    TCommand* Init(const QString& sParameter) override;
    void Execute(const QString& sParameter) override;

    const QString& FileName() const { return fsFileName; }
    bool AutoStart() const { return fbAutoStart; }

private:
    QString fsFileName;
    bool fbAutoStart = false;
};

// The window system of the device's context when a display is reachable; null (with the reason
// logged) otherwise.
IWindowSystem* ReachableWindowSystem(TCommand& aCommand);

} // namespace sys
