#include "WindowSystem.h"

#include <QByteArray>

#include <memory>
#include <vector>

// The X headers define short macro names (None, Status, KeyPress, ...): they come last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace sys {

namespace {

struct TDisplayCloser
{
    void operator()(Display* pDisplay) const { XCloseDisplay(pDisplay); }
};
using TDisplay = std::unique_ptr<Display, TDisplayCloser>;

struct TXFree
{
    void operator()(void* p) const { XFree(p); }
};

// A property of a window as bytes; empty when the window has none of that type.
QByteArray Property(Display* pDisplay, Window window, Atom property, Atom type)
{
    Atom actualType = 0;
    int iFormat = 0;
    unsigned long nItems = 0;
    unsigned long nAfter = 0;
    unsigned char* pData = nullptr;
    if (XGetWindowProperty(pDisplay, window, property, 0, 1 << 16, False, type, &actualType, &iFormat,
                           &nItems, &nAfter, &pData) != Success)
        return {};
    const std::unique_ptr<unsigned char, TXFree> data(pData);
    if (!pData || actualType != type || iFormat != 8)
        return {};
    return QByteArray(reinterpret_cast<const char*>(pData), int(nItems));
}

QString Title(Display* pDisplay, Window window)
{
    const QByteArray name = Property(pDisplay, window, XInternAtom(pDisplay, "_NET_WM_NAME", False),
                                     XInternAtom(pDisplay, "UTF8_STRING", False));
    if (!name.isEmpty())
        return QString::fromUtf8(name);
    XTextProperty text{};
    if (!XGetWMName(pDisplay, window, &text) || !text.value)
        return {};
    const std::unique_ptr<unsigned char, TXFree> value(text.value);
    if (text.encoding == XA_STRING && text.format == 8)
        return QString::fromLatin1(reinterpret_cast<const char*>(text.value), int(text.nitems));
    return QString::fromUtf8(reinterpret_cast<const char*>(text.value), int(text.nitems));
}

// Shown, or minimised by the window manager (iconic).
bool ShownOrMinimised(Display* pDisplay, Window window)
{
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(pDisplay, window, &attributes) && attributes.map_state == IsViewable)
        return true;
    const Atom wmState = XInternAtom(pDisplay, "WM_STATE", False);
    Atom actualType = 0;
    int iFormat = 0;
    unsigned long nItems = 0;
    unsigned long nAfter = 0;
    unsigned char* pData = nullptr;
    if (XGetWindowProperty(pDisplay, window, wmState, 0, 2, False, wmState, &actualType, &iFormat, &nItems,
                           &nAfter, &pData) != Success)
        return false;
    const std::unique_ptr<unsigned char, TXFree> data(pData);
    return pData && iFormat == 32 && nItems > 0 && reinterpret_cast<const long*>(pData)[0] == IconicState;
}

// The window manager's client list where there is one, else the root's children.
std::vector<Window> TopLevelWindows(Display* pDisplay)
{
    const Window root = DefaultRootWindow(pDisplay);
    Atom actualType = 0;
    int iFormat = 0;
    unsigned long nItems = 0;
    unsigned long nAfter = 0;
    unsigned char* pData = nullptr;
    std::vector<Window> windows;
    if (XGetWindowProperty(pDisplay, root, XInternAtom(pDisplay, "_NET_CLIENT_LIST", False), 0, 1 << 16,
                           False, XA_WINDOW, &actualType, &iFormat, &nItems, &nAfter, &pData) == Success) {
        const std::unique_ptr<unsigned char, TXFree> data(pData);
        if (pData && actualType == XA_WINDOW && iFormat == 32) {
            const auto* list = reinterpret_cast<const Window*>(pData);
            windows.assign(list, list + nItems);
        }
    }
    if (!windows.empty())
        return windows;
    Window rootReturn = 0;
    Window parent = 0;
    Window* pChildren = nullptr;
    unsigned int nChildren = 0;
    if (XQueryTree(pDisplay, root, &rootReturn, &parent, &pChildren, &nChildren)) {
        const std::unique_ptr<Window, TXFree> children(pChildren);
        if (pChildren)
            windows.assign(pChildren, pChildren + nChildren);
    }
    return windows;
}

// The window's client process: the property the toolkit sets, else what the server knows of the
// client (X-Resource extension), which also covers programs that set no property; -1 if unknown.
std::int64_t ProcessOfWindow(Display* pDisplay, Window window)
{
    Atom actualType = 0;
    int iFormat = 0;
    unsigned long nItems = 0;
    unsigned long nAfter = 0;
    unsigned char* pData = nullptr;
    if (XGetWindowProperty(pDisplay, window, XInternAtom(pDisplay, "_NET_WM_PID", False), 0, 1, False,
                           XA_CARDINAL, &actualType, &iFormat, &nItems, &nAfter, &pData) == Success) {
        const std::unique_ptr<unsigned char, TXFree> data(pData);
        if (pData && actualType == XA_CARDINAL && iFormat == 32 && nItems == 1)
            return std::int64_t(reinterpret_cast<const unsigned long*>(pData)[0]);
    }
    int iEvent = 0;
    int iError = 0;
    if (!XResQueryExtension(pDisplay, &iEvent, &iError))
        return -1;
    XResClientIdSpec client{};
    client.client = window;
    client.mask = XRES_CLIENT_ID_PID_MASK;
    long nValues = 0;
    XResClientIdValue* pValues = nullptr;
    if (XResQueryClientIds(pDisplay, 1, &client, &nValues, &pValues) != Success)
        return -1;
    std::int64_t iPid = -1;
    for (long i = 0; i < nValues; ++i)
        if (XResGetClientPid(&pValues[i]) > 0)
            iPid = XResGetClientPid(&pValues[i]);
    XResClientIdsDestroy(nValues, pValues);
    return iPid;
}

Window RootWindowProperty(Display* pDisplay, const char* sName)
{
    Atom actualType = 0;
    int iFormat = 0;
    unsigned long nItems = 0;
    unsigned long nAfter = 0;
    unsigned char* pData = nullptr;
    if (XGetWindowProperty(pDisplay, DefaultRootWindow(pDisplay), XInternAtom(pDisplay, sName, False), 0, 1,
                           False, XA_WINDOW, &actualType, &iFormat, &nItems, &nAfter, &pData) != Success)
        return 0;
    const std::unique_ptr<unsigned char, TXFree> data(pData);
    if (!pData || actualType != XA_WINDOW || iFormat != 32 || nItems != 1)
        return 0;
    return reinterpret_cast<const Window*>(pData)[0];
}

Window FindWindow(Display* pDisplay, const QString& sTitle)
{
    if (sTitle.isEmpty())
        return 0;
    for (const Window window : TopLevelWindows(pDisplay))
        if (Title(pDisplay, window) == sTitle && ShownOrMinimised(pDisplay, window))
            return window;
    return 0;
}

// The key symbol of a character sent to a window.
KeySym CharKeySym(std::uint8_t byCode)
{
    switch (byCode) {
    case 8:
        return XK_BackSpace;
    case 9:
        return XK_Tab;
    case 10:
    case 13:
        return XK_Return;
    case 27:
        return XK_Escape;
    case 127:
        return XK_Delete;
    default:
        // Latin-1 characters are their own key symbols.
        return byCode >= 0x20 ? KeySym(byCode) : KeySym(NoSymbol);
    }
}

// The key symbol of a virtual key number.
KeySym VirtualKeySym(std::uint8_t byKey)
{
    if (byKey >= '0' && byKey <= '9')
        return XK_0 + (byKey - '0');
    if (byKey >= 'A' && byKey <= 'Z')
        return XK_a + (byKey - 'A');
    if (byKey >= 0x60 && byKey <= 0x69)
        return XK_KP_0 + (byKey - 0x60);
    if (byKey >= 0x70 && byKey <= 0x87)
        return XK_F1 + (byKey - 0x70);
    switch (byKey) {
    case 0x08:
        return XK_BackSpace;
    case 0x09:
        return XK_Tab;
    case 0x0D:
        return XK_Return;
    case 0x10:
        return XK_Shift_L;
    case 0x11:
        return XK_Control_L;
    case 0x12:
        return XK_Alt_L;
    case 0x13:
        return XK_Pause;
    case 0x1B:
        return XK_Escape;
    case 0x20:
        return XK_space;
    case 0x21:
        return XK_Prior;
    case 0x22:
        return XK_Next;
    case 0x23:
        return XK_End;
    case 0x24:
        return XK_Home;
    case 0x25:
        return XK_Left;
    case 0x26:
        return XK_Up;
    case 0x27:
        return XK_Right;
    case 0x28:
        return XK_Down;
    case 0x2D:
        return XK_Insert;
    case 0x2E:
        return XK_Delete;
    default:
        return NoSymbol;
    }
}

class TX11WindowSystem : public IWindowSystem
{
public:
    bool Available(QString& sReason) override
    {
        if (Open())
            return true;
        const QByteArray name = qgetenv("DISPLAY");
        sReason = name.isEmpty()
                      ? QStringLiteral("no X display (DISPLAY is not set)")
                      : QStringLiteral("X display \"%1\" not reachable").arg(QString::fromLocal8Bit(name));
        return false;
    }

    bool ExistWindow(const QString& sTitle) override
    {
        const TDisplay display = Open();
        return display && FindWindow(display.get(), sTitle) != 0;
    }

    bool SendChar(const QString& sTitle, std::uint8_t byCode) override
    {
        const TDisplay display = Open();
        if (!display)
            return false;
        const Window window = FindWindow(display.get(), sTitle);
        if (window == 0)
            return false;
        const KeySym keySym = CharKeySym(byCode);
        const KeyCode keyCode = keySym == NoSymbol ? 0 : XKeysymToKeycode(display.get(), keySym);
        XKeyEvent event{};
        event.type = KeyPress;
        event.display = display.get();
        event.window = window;
        event.root = DefaultRootWindow(display.get());
        event.subwindow = 0;
        event.time = CurrentTime;
        event.same_screen = True;
        event.keycode = keyCode;
        // An upper-case letter is the shifted level of its key.
        if (keyCode != 0 && UnshiftedKeySym(display.get(), keyCode) != keySym)
            event.state = ShiftMask;
        XSendEvent(display.get(), window, True, KeyPressMask, reinterpret_cast<XEvent*>(&event));
        XSync(display.get(), False);
        return true;
    }

    bool InjectKey(std::uint8_t byKey) override
    {
        const TDisplay display = Open();
        if (!display)
            return false;
        int iEvent = 0;
        int iError = 0;
        int iMajor = 0;
        int iMinor = 0;
        const KeySym keySym = VirtualKeySym(byKey);
        const KeyCode keyCode = keySym == NoSymbol ? 0 : XKeysymToKeycode(display.get(), keySym);
        if (keyCode == 0 || !XTestQueryExtension(display.get(), &iEvent, &iError, &iMajor, &iMinor))
            return false;
        XTestFakeKeyEvent(display.get(), keyCode, True, CurrentTime);
        XSync(display.get(), False);
        return true;
    }

    TWindowId WindowOfProcess(const std::function<bool(std::int64_t iPid)>& fIsOurs) override
    {
        const TDisplay display = Open();
        if (!display)
            return 0;
        for (const Window window : TopLevelWindows(display.get())) {
            XWindowAttributes attributes{};
            if (!XGetWindowAttributes(display.get(), window, &attributes) || attributes.override_redirect ||
                !ShownOrMinimised(display.get(), window))
                continue;
            const std::int64_t iPid = ProcessOfWindow(display.get(), window);
            if (iPid > 0 && fIsOurs(iPid))
                return window;
        }
        return 0;
    }

    TWindowId ActiveWindow() override
    {
        const TDisplay display = Open();
        return display ? RootWindowProperty(display.get(), "_NET_ACTIVE_WINDOW") : 0;
    }

    bool Minimise(TWindowId aWindow) override
    {
        const TDisplay display = Open();
        if (!display)
            return false;
        const Status ok = XIconifyWindow(display.get(), Window(aWindow), DefaultScreen(display.get()));
        XSync(display.get(), False);
        return ok != 0;
    }

    bool Activate(TWindowId aWindow) override
    {
        const TDisplay display = Open();
        if (!display)
            return false;
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = Window(aWindow);
        event.xclient.message_type = XInternAtom(display.get(), "_NET_ACTIVE_WINDOW", False);
        event.xclient.format = 32;
        // Source 2 (a pager, acting for the user): window managers do not refuse it as focus
        // stealing.
        event.xclient.data.l[0] = 2;
        event.xclient.data.l[1] = CurrentTime;
        const Status ok = XSendEvent(display.get(), DefaultRootWindow(display.get()), False,
                                     SubstructureRedirectMask | SubstructureNotifyMask, &event);
        XSync(display.get(), False);
        return ok != 0;
    }

private:
    static TDisplay Open() { return TDisplay(XOpenDisplay(nullptr)); }

    // The unshifted symbol of a key.
    static KeySym UnshiftedKeySym(Display* pDisplay, KeyCode keyCode)
    {
        int iPerCode = 0;
        KeySym* pSyms = XGetKeyboardMapping(pDisplay, keyCode, 1, &iPerCode);
        const std::unique_ptr<KeySym, TXFree> syms(pSyms);
        return pSyms && iPerCode > 0 ? pSyms[0] : NoSymbol;
    }
};

} // namespace

std::unique_ptr<IWindowSystem> IWindowSystem::CreateDefault()
{
    return std::make_unique<TX11WindowSystem>();
}

} // namespace sys
