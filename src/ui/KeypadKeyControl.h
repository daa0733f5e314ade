#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

class QAction;

// The platform-neutral key code that definitions assign (the classic virtual key numbers: F1 is
// 0x70, Alt 0x12, digits and letters their upper-case character codes); 256 or more for keys
// without one.
int VirtualKeyCode(int iQtKey, bool bKeypad);

// Keys that a definition assigns to the window's actions, including Alt sequences that a
// programmable keypad sends: Alt followed by two keys within 100 milliseconds.
class TKeypadKeyControl
{
public:
    using TClock = std::function<QDateTime()>;

    explicit TKeypadKeyControl(std::vector<QAction*> aActionList);

    void Clear();
    // Records the key for the first action whose caption equals sAction exactly (ampersands
    // included); false when there is none.
    bool AppendKey(int iKeyCode, const QString& sAction);
    // Processes one key press; true when it executed an action.
    bool ReadIn(int wKeyCode);
    void ListAssignments(const QString& sFileLabel) const;

    int Count() const { return int(fKeyCodeList.size()); }
    // Tests step the clock by hand.
    void SetClock(TClock aClock) { fClock = std::move(aClock); }

private:
    std::vector<QAction*> fActionList;
    std::vector<std::pair<QString, QAction*>> fKeyCodeList;
    std::uint32_t fdwKeySequence = 0;
    std::int32_t fiKeyCounter = 0;
    QDateTime fTimeStamp;
    TClock fClock;
};
