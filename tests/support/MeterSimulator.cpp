#include "MeterSimulator.h"

#include "PseudoTerminal.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>

#include <dirent.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

TMeterSimulator::~TMeterSimulator()
{
    Stop();
}

QByteArray TMeterSimulator::Frame(int iMode, int iDigits, int iExponent, bool bNegative, bool bOverload)
{
    QByteArray frame;
    frame.append(char(0xA0 | (iExponent & 0x0F)));
    frame.append(char((iMode & 0x1F) | (bOverload ? 0x20 : 0)));
    frame.append(char(0x10 | (bNegative ? 0x20 : 0)));
    const QByteArray digits = QByteArray::number(iDigits).rightJustified(5, '0').right(5);
    for (const char c : digits)
        frame.append(char(c - '0'));
    return frame;
}

QString TMeterSimulator::Start()
{
    Stop();
    const QString sPath = OpenRawPty(fiPtyMaster);
    if (sPath.isEmpty())
        return {};
    // The watch is in place before anyone learns the line's path, so no client goes unseen.
    fiWatch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fiWatch < 0 || inotify_add_watch(fiWatch, sPath.toLocal8Bit().constData(), IN_OPEN | IN_CLOSE) < 0) {
        Stop();
        return {};
    }
    fsLine = sPath;
    {
        const std::lock_guard<std::mutex> lock(fUseLock);
        fUse = TUse();
    }
    fiClients = 0;
    fbStop = false;
    fThread = std::thread([this] { Send(); });
    fWatcher = std::thread([this] { Watch(); });
    return sPath;
}

void TMeterSimulator::Stop()
{
    fbStop = true;
    if (fThread.joinable())
        fThread.join();
    if (fWatcher.joinable())
        fWatcher.join();
    if (fiWatch >= 0)
        ::close(fiWatch);
    fiWatch = -1;
    if (fiPtyMaster >= 0)
        ::close(fiPtyMaster);
    fiPtyMaster = -1;
}

TMeterSimulator::TUse TMeterSimulator::Use() const
{
    const std::lock_guard<std::mutex> lock(fUseLock);
    return fUse;
}

QString TMeterSimulator::UseText(const TUse& aUse)
{
    return QStringLiteral("connections %1 overlaps %2 most-at-once %3")
        .arg(aUse.iConnections)
        .arg(aUse.iOverlaps)
        .arg(aUse.iMostAtOnce);
}

void TMeterSimulator::Watch()
{
    pollfd watch{fiWatch, POLLIN, 0};
    while (!fbStop) {
        if (::poll(&watch, 1, 20) <= 0)
            continue;
        // The events count the connections; who is there now is read from the processes, as the
        // kernel merges opens that follow each other unread into one event.
        int iOpens = 0;
        alignas(inotify_event) char events[4096];
        ssize_t iRead = 0;
        while ((iRead = ::read(fiWatch, events, sizeof events)) > 0) {
            for (ssize_t i = 0; i + ssize_t(sizeof(inotify_event)) <= iRead;) {
                inotify_event event{};
                std::memcpy(&event, events + i, sizeof event);
                iOpens += (event.mask & IN_OPEN) ? 1 : 0;
                i += ssize_t(sizeof(inotify_event) + event.len);
            }
        }
        CountClients(iOpens);
    }
}

void TMeterSimulator::CountClients(int iOpens)
{
    const QByteArray line = fsLine.toLocal8Bit();
    int iClients = 0;
    DIR* pProcesses = ::opendir("/proc");
    if (!pProcesses)
        return;
    while (const dirent* pProcess = ::readdir(pProcesses)) {
        const char* sPid = pProcess->d_name;
        if (!std::all_of(sPid, sPid + std::char_traits<char>::length(sPid),
                         [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        const QByteArray fdDir = QByteArray("/proc/") + sPid + "/fd";
        DIR* pFds = ::opendir(fdDir.constData());
        if (!pFds)
            continue; // gone meanwhile, or another user's
        while (const dirent* pFd = ::readdir(pFds)) {
            if (pFd->d_name[0] == '.')
                continue;
            char target[PATH_MAX];
            const QByteArray link = fdDir + '/' + pFd->d_name;
            const ssize_t iLength = ::readlink(link.constData(), target, sizeof target);
            if (iLength == line.size() && line == QByteArray(target, int(iLength)))
                ++iClients;
        }
        ::closedir(pFds);
    }
    ::closedir(pProcesses);

    const std::lock_guard<std::mutex> lock(fUseLock);
    fUse.iConnections += iOpens;
    if (iClients >= 2 && fiClients < 2)
        ++fUse.iOverlaps;
    fUse.iMostAtOnce = std::max(fUse.iMostAtOnce, iClients);
    fiClients = iClients;
}

void TMeterSimulator::SetFrame(const QByteArray& aFrame)
{
    const std::lock_guard<std::mutex> lock(fLock);
    fFrame = aFrame;
}

void TMeterSimulator::Send()
{
    using namespace std::chrono;
    while (!fbStop) {
        QByteArray frame;
        {
            const std::lock_guard<std::mutex> lock(fLock);
            frame = fFrame;
        }
        for (const char c : frame) {
            if (fbStop)
                return;
            (void)::write(fiPtyMaster, &c, 1);
            std::this_thread::sleep_for(microseconds(ciByteMicroseconds));
        }
        if (!frame.isEmpty())
            ++fiFramesSent;
        std::this_thread::sleep_for(milliseconds(fiPauseMs));
    }
}
