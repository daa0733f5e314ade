#include "Application.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"

#include <QKeyEvent>
#include <QMessageBox>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("TZK"));
    setApplicationDisplayName(QStringLiteral("TZK"));
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
        // Every key press passes the shortcut check first, once, at the focus object; so that is
        // where the window's key handling sees it, before any shortcut can fire.
        if (aEvent->type() == QEvent::ShortcutOverride && fKeyHook) {
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
