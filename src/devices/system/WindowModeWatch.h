#pragma once

#include "CmdExecute.h"
#include "WindowSystem.h"

#include <sys/types.h>

#include <memory>

class QObject;
class TMsgChannel;

namespace sys {

// Applies "Minimized" or "NotActivated" to the first window a started program (or a program it
// started) shows: on X11 the window manager decides how a new window appears, so the mode can only
// be applied once the window is there. The watch looks every 100 ms for 30 s at most, and ends with
// aContext; it never holds the display open between looks. Its lines go to aMsg, the channel of
// the session whose command started the program, which outlives the command.
class TWindowModeWatch : public std::enable_shared_from_this<TWindowModeWatch>
{
public:
    static void Start(IWindowSystem& aWindows, pid_t aPid, EWindowMode aMode, QObject* aContext,
                      TMsgChannel& aMsg);

    TWindowModeWatch(IWindowSystem& aWindows, pid_t aPid, EWindowMode aMode, TMsgChannel& aMsg);

private:
    void Look();
    void LookLater();
    bool IsOurs(std::int64_t iPid) const;

    IWindowSystem& fWindows;
    TMsgChannel& fMsg;
    pid_t fPid;
    EWindowMode feMode;
    QObject* fContext = nullptr;
    IWindowSystem::TWindowId fPrevious = 0;
    IWindowSystem::TWindowId fWindow = 0;
    int fiLooks = 0;
    int fiLooksAfterShown = 0;
};

} // namespace sys
