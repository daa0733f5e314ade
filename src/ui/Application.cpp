#include "Application.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"

#include <QKeyEvent>
#include <QMessageBox>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The signal handler may only write to a descriptor; the event loop reads the other end.
int gSignalPipe[2] = {-1, -1};

void OnTerminationSignal(int /*iSignal*/)
{
    const char cByte = 1;
    [[maybe_unused]] const ssize_t iWritten = ::write(gSignalPipe[0], &cByte, 1);
}

} // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // No display name: the windowing system would append it to every caption.
    setApplicationName(QStringLiteral("TZK"));
    fErrorBox = [](const QString& sText) {
        QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("TZK"), sText);
    };
}

TApplication* TApplication::Instance()
{
    return qobject_cast<TApplication*>(QCoreApplication::instance());
}

bool TApplication::notify(QObject* aReceiver, QEvent* aEvent)
{
    try {
        // Every key press passes the shortcut check first, at the focus widget; so that is where
        // the window's key handling sees it, before any shortcut can fire. A key from the window
        // system reaches the top-level window's handle with the same check first, which hands it
        // on to the focus widget: offered there too, the key would be handled twice.
        if (aEvent->type() == QEvent::ShortcutOverride && fKeyHook && aReceiver->isWidgetType()) {
            auto* keyEvent = static_cast<QKeyEvent*>(aEvent);
            if (!keyEvent->isAutoRepeat() && fKeyHook(keyEvent)) {
                fiSwallowKey = keyEvent->key();
                keyEvent->accept();
                return true;
            }
        } else if (aEvent->type() == QEvent::KeyPress && fiSwallowKey != 0) {
            auto* keyEvent = static_cast<QKeyEvent*>(aEvent);
            const bool bSwallow = keyEvent->key() == fiSwallowKey;
            fiSwallowKey = 0;
            if (bSwallow)
                return true;
        }
        return QApplication::notify(aReceiver, aEvent);
    } catch (const std::exception& e) {
        HandleException(ExceptionText(e));
    }
    return false;
}

void TApplication::HandleException(const QString& sText)
{
    TMsg::Fatal(sText);
    if (fErrorBox)
        fErrorBox(sText);
}

void TApplication::InstallTerminationHandler()
{
    if (gSignalPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(gSignalPipe[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char cByte = 0;
        [[maybe_unused]] const ssize_t iRead = ::read(gSignalPipe[1], &cByte, 1);
        fbTerminating = true;
        closeAllWindows();
        quit();
    });
    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}
