#include "WindowModeWatch.h"

#include "core/MsgChannel.h"

#include <QFile>
#include <QTimer>

namespace sys {

namespace {

constexpr int ciLookMs = 100;
constexpr int ciMaxLooks = 300;
// How long a window that is shown may still be activated by the window manager.
constexpr int ciLooksAfterShown = 20;

// The parent of a process, from /proc; 0 when it is gone.
pid_t ParentOf(std::int64_t iPid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(iPid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // "pid (name) state ppid ...": the name may hold blanks and parentheses.
    const int iEnd = line.lastIndexOf(')');
    if (iEnd < 0)
        return 0;
    const QList<QByteArray> fields = line.mid(iEnd + 2).split(' ');
    return fields.size() > 1 ? pid_t(fields[1].toLongLong()) : 0;
}

} // namespace

void TWindowModeWatch::Start(IWindowSystem& aWindows, pid_t aPid, EWindowMode aMode, QObject* aContext,
                             TMsgChannel& aMsg)
{
    if (aMode == ewNormal || aPid <= 0)
        return;
    QString sReason;
    if (!aWindows.Available(sReason)) {
        aMsg.Debug(QStringLiteral("Window mode of process %d not applied: %s"), {int(aPid), sReason});
        return;
    }
    const auto watch = std::make_shared<TWindowModeWatch>(aWindows, aPid, aMode, aMsg);
    watch->fContext = aContext;
    watch->fPrevious = aWindows.ActiveWindow();
    watch->LookLater();
}

TWindowModeWatch::TWindowModeWatch(IWindowSystem& aWindows, pid_t aPid, EWindowMode aMode, TMsgChannel& aMsg)
    : fWindows(aWindows), fMsg(aMsg), fPid(aPid), feMode(aMode)
{}

bool TWindowModeWatch::IsOurs(std::int64_t iPid) const
{
    // A launcher script's window belongs to a program it started; the chain ends at init.
    for (int iDepth = 0; iDepth < 64 && iPid > 1; ++iDepth) {
        if (iPid == fPid)
            return true;
        iPid = ParentOf(iPid);
    }
    return false;
}

void TWindowModeWatch::LookLater()
{
    // The timers end with the context, that is with the command that started the program.
    QTimer::singleShot(ciLookMs, fContext, [self = shared_from_this()] { self->Look(); });
}

void TWindowModeWatch::Look()
{
    if (fWindow == 0) {
        fWindow = fWindows.WindowOfProcess([this](std::int64_t iPid) { return IsOurs(iPid); });
        if (fWindow == 0) {
            if (++fiLooks < ciMaxLooks)
                return LookLater();
            fMsg.Debug(QStringLiteral("Process %d showed no window: window mode not applied"), {int(fPid)});
            return;
        }
        if (feMode == ewMinimized) {
            const bool bDone = fWindows.Minimise(fWindow);
            fMsg.Debug(bDone ? QStringLiteral("Window 0x%x of process %d minimised")
                             : QStringLiteral("Window 0x%x of process %d could not be minimised"),
                       {qulonglong(fWindow), int(fPid)});
            return;
        }
    }
    // Not activated: when the window manager hands the new window the focus, it goes back to the
    // window that had it when the program started.
    if (fPrevious != 0 && fPrevious != fWindow && fWindows.ActiveWindow() == fWindow) {
        fWindows.Activate(fPrevious);
        fMsg.Debug(QStringLiteral("Window 0x%x of process %d left inactive"),
                   {qulonglong(fWindow), int(fPid)});
        return;
    }
    if (fPrevious != 0 && ++fiLooksAfterShown < ciLooksAfterShown)
        LookLater();
}

} // namespace sys
