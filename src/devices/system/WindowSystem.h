#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace sys {

// The top-level windows of the desktop and keys sent to them (ExistWindow, SendKey). Every call
// connects to the display and lets go of it again, so nothing stays open between steps.
class IWindowSystem
{
public:
    virtual ~IWindowSystem() = default;
    // The X display named by DISPLAY.
    static std::unique_ptr<IWindowSystem> CreateDefault();

    // Whether a display is reachable; otherwise sReason says why.
    virtual bool Available(QString& sReason) = 0;
    // Whether a top-level window, shown or minimised, has exactly this title (case-sensitive).
    virtual bool ExistWindow(const QString& sTitle) = 0;
    // Sends that window a key press of the character byCode; false when there is no such window.
    virtual bool SendChar(const QString& sTitle, std::uint8_t byCode) = 0;
    // Presses the virtual key byKey for whichever window has the focus (no release follows);
    // false when the key cannot be typed on this display.
    virtual bool InjectKey(std::uint8_t byKey) = 0;

    // Window modes of started programs: the window manager places new windows as it likes, so a
    // mode is applied to a program's window once it is shown.
    using TWindowId = std::uint64_t;
    // The first shown top-level window whose client process fIsOurs accepts (0: none yet).
    virtual TWindowId WindowOfProcess(const std::function<bool(std::int64_t iPid)>& fIsOurs) = 0;
    // The window the window manager has activated; 0 without a window manager that tells.
    virtual TWindowId ActiveWindow() = 0;
    // Asks the window manager to minimise the window, or to activate it.
    virtual bool Minimise(TWindowId aWindow) = 0;
    virtual bool Activate(TWindowId aWindow) = 0;
};

} // namespace sys
