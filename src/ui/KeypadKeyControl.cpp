#include "KeypadKeyControl.h"

#include "core/MsgClasses.h"
#include "core/MsgUtils.h"

#include <QAction>

namespace {

constexpr int ciAltKey = 0x12;
constexpr qint64 ciSequenceMs = 100;

QString KeyText(std::uint32_t dwCode)
{
    return Format(QStringLiteral("0x%x"), {dwCode});
}

} // namespace

int VirtualKeyCode(int iQtKey, bool bKeypad)
{
    if (bKeypad && iQtKey >= Qt::Key_0 && iQtKey <= Qt::Key_9)
        return 0x60 + (iQtKey - Qt::Key_0);
    if ((iQtKey >= Qt::Key_0 && iQtKey <= Qt::Key_9) || (iQtKey >= Qt::Key_A && iQtKey <= Qt::Key_Z))
        return iQtKey;
    if (iQtKey >= Qt::Key_F1 && iQtKey <= Qt::Key_F24)
        return 0x70 + (iQtKey - Qt::Key_F1);
    switch (iQtKey) {
    case Qt::Key_Backspace:
        return 0x08;
    case Qt::Key_Tab:
        return 0x09;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 0x0D;
    case Qt::Key_Shift:
        return 0x10;
    case Qt::Key_Control:
        return 0x11;
    case Qt::Key_Alt:
        return 0x12;
    case Qt::Key_Pause:
        return 0x13;
    case Qt::Key_Escape:
        return 0x1B;
    case Qt::Key_Space:
        return 0x20;
    case Qt::Key_PageUp:
        return 0x21;
    case Qt::Key_PageDown:
        return 0x22;
    case Qt::Key_End:
        return 0x23;
    case Qt::Key_Home:
        return 0x24;
    case Qt::Key_Left:
        return 0x25;
    case Qt::Key_Up:
        return 0x26;
    case Qt::Key_Right:
        return 0x27;
    case Qt::Key_Down:
        return 0x28;
    case Qt::Key_Insert:
        return 0x2D;
    case Qt::Key_Delete:
        return 0x2E;
    case Qt::Key_Asterisk:
        return bKeypad ? 0x6A : 0x100 + iQtKey % 0x100;
    case Qt::Key_Plus:
        return bKeypad ? 0x6B : 0xBB;
    case Qt::Key_Minus:
        return bKeypad ? 0x6D : 0xBD;
    case Qt::Key_Period:
        return bKeypad ? 0x6E : 0xBE;
    case Qt::Key_Slash:
        return bKeypad ? 0x6F : 0xBF;
    case Qt::Key_Comma:
        return 0xBC;
    default:
        // Outside the virtual key range, so ReadIn ignores it.
        return 0x100 + (iQtKey & 0xFFFF);
    }
}

TKeypadKeyControl::TKeypadKeyControl(std::vector<QAction*> aActionList)
    : fActionList(std::move(aActionList)), fClock([] { return QDateTime::currentDateTime(); })
{}

void TKeypadKeyControl::Clear()
{
    fKeyCodeList.clear();
}

bool TKeypadKeyControl::AppendKey(int iKeyCode, const QString& sAction)
{
    for (QAction* action : fActionList) {
        if (action->text() == sAction) {
            fKeyCodeList.emplace_back(KeyText(std::uint32_t(iKeyCode)), action);
            return true;
        }
    }
    return false;
}

bool TKeypadKeyControl::ReadIn(int wKeyCode)
{
    if (wKeyCode < 0 || wKeyCode >= 256)
        return false;
    const QDateTime now = fClock();
    if (wKeyCode == ciAltKey) {
        fdwKeySequence = ciAltKey;
        fiKeyCounter = 2;
        fTimeStamp = now;
        return false;
    }
    if (fiKeyCounter > 0 && fTimeStamp.msecsTo(now) > ciSequenceMs)
        fiKeyCounter = 0;

    QString sKey;
    if (fiKeyCounter == 0) {
        sKey = KeyText(std::uint32_t(wKeyCode));
    } else {
        --fiKeyCounter;
        fdwKeySequence = fdwKeySequence * 256 + std::uint32_t(wKeyCode);
        if (fiKeyCounter == 0)
            sKey = KeyText(fdwKeySequence);
    }
    if (sKey.isEmpty())
        return false;
    for (const auto& [sText, action] : fKeyCodeList) {
        if (sText.compare(sKey, Qt::CaseInsensitive) == 0) {
            if (!action->isEnabled())
                return false;
            action->trigger();
            return true;
        }
    }
    return false;
}

void TKeypadKeyControl::ListAssignments(const QString& sFileLabel) const
{
    if (fKeyCodeList.empty()) {
        TMsg::Info(QStringLiteral("No keys assigned in \"%s\""), {sFileLabel});
        return;
    }
    TMsg::Info(QStringLiteral("%d assigned keys in \"%s\":"), {int(fKeyCodeList.size()), sFileLabel});
    int iNumber = 0;
    for (const auto& [sText, action] : fKeyCodeList)
        TMsg::Info(QStringLiteral("%d: Key %s = Function \"%s\""), {++iNumber, sText, action->text()});
}
