#include "InterruptHandler.h"

#include "core/MsgExceptions.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Shared with the signal handler, which may only use async-signal-safe calls.
volatile sig_atomic_t siSignals = 0;
int siWriteFd = -1;
bool sbInstalled = false;
struct sigaction sOldInt;
struct sigaction sOldTerm;

extern "C" void OnSignal(int iSignal)
{
    const int iSavedErrno = errno;
    siSignals = siSignals + 1;
    if (siSignals >= 2) {
        static const char sMessage[] = "\nInterrupted again: ending at once.\n";
        [[maybe_unused]] const ssize_t iIgnored = ::write(STDERR_FILENO, sMessage, sizeof sMessage - 1);
        ::_exit(128 + iSignal);
    }
    const unsigned char cSignal = static_cast<unsigned char>(iSignal);
    [[maybe_unused]] const ssize_t iIgnored = ::write(siWriteFd, &cSignal, 1);
    errno = iSavedErrno;
}

} // namespace

TInterruptHandler::TInterruptHandler(QObject* aParent) : QObject(aParent)
{
    if (sbInstalled)
        throw EError(QStringLiteral("Only one interrupt handler may exist"));
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        throw EError(QStringLiteral("Cannot create the interrupt pipe: ") +
                     QString::fromLocal8Bit(std::strerror(errno)));
    fiReadFd = fds[0];
    siWriteFd = fds[1];
    siSignals = 0;

    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &sOldInt);
    ::sigaction(SIGTERM, &action, &sOldTerm);
    sbInstalled = true;

    fNotifier = new QSocketNotifier(fiReadFd, QSocketNotifier::Read, this);
    connect(fNotifier, &QSocketNotifier::activated, this, &TInterruptHandler::Drain);
}

TInterruptHandler::~TInterruptHandler()
{
    ::sigaction(SIGINT, &sOldInt, nullptr);
    ::sigaction(SIGTERM, &sOldTerm, nullptr);
    sbInstalled = false;
    delete fNotifier;
    ::close(fiReadFd);
    ::close(siWriteFd);
    siWriteFd = -1;
    siSignals = 0;
}

bool TInterruptHandler::WasInterrupted() const
{
    return siSignals > 0;
}

void TInterruptHandler::Drain()
{
    unsigned char aSignals[16];
    int iSignal = 0;
    for (;;) {
        const ssize_t iRead = ::read(fiReadFd, aSignals, sizeof aSignals);
        if (iRead > 0) {
            iSignal = aSignals[iRead - 1];
            continue;
        }
        if (iRead < 0 && errno == EINTR)
            continue;
        break;
    }
    if (iSignal != 0 && !fbReported) {
        fbReported = true;
        Q_EMIT Interrupted(iSignal);
    }
}
