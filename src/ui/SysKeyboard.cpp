#include "SysKeyboard.h"

#include "KeypadKeyControl.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>

namespace {

// The modifiers held by synthesised presses that have not been released yet.
Qt::KeyboardModifiers& SyntheticModifiers()
{
    static Qt::KeyboardModifiers modifiers;
    return modifiers;
}

Qt::KeyboardModifier ModifierOf(int iQtKey)
{
    switch (iQtKey) {
    case Qt::Key_Control:
        return Qt::ControlModifier;
    case Qt::Key_Shift:
        return Qt::ShiftModifier;
    case Qt::Key_Alt:
        return Qt::AltModifier;
    default:
        return Qt::NoModifier;
    }
}

Qt::KeyboardModifiers Held()
{
    return QGuiApplication::queryKeyboardModifiers() | SyntheticModifiers();
}

} // namespace

int TSysKeyboard::QtKey(std::uint8_t byKey)
{
    // The virtual key numbers are few; the inverse of the table the key control reads keys with.
    static const int candidates[] = {
        Qt::Key_Backspace, Qt::Key_Tab,    Qt::Key_Return, Qt::Key_Shift,  Qt::Key_Control,  Qt::Key_Alt,
        Qt::Key_Pause,     Qt::Key_Escape, Qt::Key_Space,  Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_End,
        Qt::Key_Home,      Qt::Key_Left,   Qt::Key_Up,     Qt::Key_Right,  Qt::Key_Down,     Qt::Key_Insert,
        Qt::Key_Delete,    Qt::Key_Plus,   Qt::Key_Minus,  Qt::Key_Period, Qt::Key_Slash,    Qt::Key_Comma};
    if ((byKey >= '0' && byKey <= '9') || (byKey >= 'A' && byKey <= 'Z'))
        return byKey;
    if (byKey >= 0x60 && byKey <= 0x69)
        return Qt::Key_0 + (byKey - 0x60);
    if (byKey >= 0x70 && byKey <= 0x87)
        return Qt::Key_F1 + (byKey - 0x70);
    for (int iKey : candidates) {
        if (VirtualKeyCode(iKey, false) == byKey)
            return iKey;
    }
    return 0;
}

void TSysKeyboard::Key(std::uint8_t byKey, bool bDepressed)
{
    const int iKey = QtKey(byKey);
    if (iKey == 0)
        return;
    const Qt::KeyboardModifier modifier = ModifierOf(iKey);
    if (modifier != Qt::NoModifier) {
        if (bDepressed)
            SyntheticModifiers() |= modifier;
        else
            SyntheticModifiers() &= ~Qt::KeyboardModifiers(modifier);
    }
    QString sText;
    if (iKey >= Qt::Key_A && iKey <= Qt::Key_Z)
        sText = QChar(ShiftDown() ? iKey : iKey + 32);
    else if ((iKey >= Qt::Key_0 && iKey <= Qt::Key_9) || iKey == Qt::Key_Space)
        sText = QChar(iKey);
    const bool bKeypad = byKey >= 0x60 && byKey <= 0x6F;
    const Qt::KeyboardModifiers modifiers = Held() | (bKeypad ? Qt::KeypadModifier : Qt::NoModifier);

    QObject* target = QGuiApplication::focusObject();
    if (!target)
        target = QApplication::focusWidget();
    if (!target)
        target = QGuiApplication::focusWindow();
    if (!target)
        return;
    QCoreApplication::postEvent(
        target, new QKeyEvent(bDepressed ? QEvent::KeyPress : QEvent::KeyRelease, iKey, modifiers, sText));
}

bool TSysKeyboard::CtrlDown()
{
    return Held() & Qt::ControlModifier;
}

bool TSysKeyboard::ShiftDown()
{
    return Held() & Qt::ShiftModifier;
}

bool TSysKeyboard::AltDown()
{
    return Held() & Qt::AltModifier;
}
