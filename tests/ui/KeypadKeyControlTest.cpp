#include "ui/KeypadKeyControl.h"

#include "core/MsgClasses.h"
#include "core/MsgLog.h"

#include <QAction>

#include <gtest/gtest.h>

#include <memory>

namespace {

class KeypadKeyControlTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* sCaption : {"&Open...", "Step", "Start", "Step"}) {
            auto action = std::make_unique<QAction>(QString::fromLatin1(sCaption));
            QAction* pAction = action.get();
            QObject::connect(pAction, &QAction::triggered,
                             [this, pAction] { fTriggered.push_back(pAction); });
            fActions.push_back(std::move(action));
        }
        std::vector<QAction*> list;
        for (const auto& action : fActions)
            list.push_back(action.get());
        fControl = std::make_unique<TKeypadKeyControl>(list);
        fNow = QDateTime(QDate(2024, 5, 1), QTime(10, 0, 0));
        fControl->SetClock([this] { return fNow; });
    }
    void TearDown() override
    {
        fLog.Detach();
        TMsgClass::ReleaseSingleton();
    }

    QAction* Open() const { return fActions[0].get(); }
    QAction* Step() const { return fActions[1].get(); }
    QAction* Start() const { return fActions[2].get(); }
    void Wait(int iMs) { fNow = fNow.addMSecs(iMs); }

    std::vector<std::unique_ptr<QAction>> fActions;
    std::vector<QAction*> fTriggered;
    std::unique_ptr<TKeypadKeyControl> fControl;
    QDateTime fNow;
    TMsgLog fLog;
};

} // namespace

TEST_F(KeypadKeyControlTest, AssignmentsMatchTheCaptionExactly)
{
    EXPECT_FALSE(fControl->AppendKey(0x4F, QStringLiteral("Open"))) << "the caption is \"&Open...\"";
    EXPECT_FALSE(fControl->AppendKey(0x75, QStringLiteral("step"))) << "captions compare with case";
    EXPECT_TRUE(fControl->AppendKey(0x4F, QStringLiteral("&Open...")));
    EXPECT_TRUE(fControl->AppendKey(0x75, QStringLiteral("Step")));
    EXPECT_EQ(fControl->Count(), 2);

    EXPECT_TRUE(fControl->ReadIn(0x75));
    EXPECT_TRUE(fControl->ReadIn(0x4F));
    ASSERT_EQ(fTriggered.size(), 2u);
    EXPECT_EQ(fTriggered[0], Step()) << "the first action with the caption";
    EXPECT_EQ(fTriggered[1], Open());
    EXPECT_FALSE(fControl->ReadIn(0x76)) << "an unassigned key";

    fControl->Clear();
    EXPECT_FALSE(fControl->ReadIn(0x75));
    EXPECT_EQ(fTriggered.size(), 2u);
}

TEST_F(KeypadKeyControlTest, DisabledActionAndOutOfRangeKeysDoNothing)
{
    ASSERT_TRUE(fControl->AppendKey(0x74, QStringLiteral("Start")));
    Start()->setEnabled(false);
    EXPECT_FALSE(fControl->ReadIn(0x74));
    Start()->setEnabled(true);
    EXPECT_FALSE(fControl->ReadIn(0x174)) << "codes of 256 and above are ignored";
    EXPECT_TRUE(fControl->ReadIn(0x74));
    EXPECT_EQ(fTriggered.size(), 1u);
}

TEST_F(KeypadKeyControlTest, AltSequenceWithinHundredMilliseconds)
{
    // Alt, "1", "2" gives the key text 0x123132; the hex digits compare without case.
    ASSERT_TRUE(fControl->AppendKey(0x123132, QStringLiteral("Start")));
    ASSERT_TRUE(fControl->AppendKey(0x31, QStringLiteral("&Open...")));
    ASSERT_TRUE(fControl->AppendKey(0x32, QStringLiteral("Step")));

    EXPECT_FALSE(fControl->ReadIn(0x12));
    Wait(40);
    EXPECT_FALSE(fControl->ReadIn(0x31)) << "inside the sequence there is no key text yet";
    Wait(50);
    EXPECT_TRUE(fControl->ReadIn(0x32));
    ASSERT_EQ(fTriggered.size(), 1u);
    EXPECT_EQ(fTriggered[0], Start());

    // Typed by hand: the digits come too late and count as single keys.
    fTriggered.clear();
    EXPECT_FALSE(fControl->ReadIn(0x12));
    Wait(101);
    EXPECT_TRUE(fControl->ReadIn(0x31));
    Wait(30);
    EXPECT_TRUE(fControl->ReadIn(0x32));
    ASSERT_EQ(fTriggered.size(), 2u);
    EXPECT_EQ(fTriggered[0], Open());
    EXPECT_EQ(fTriggered[1], Step());
}

TEST_F(KeypadKeyControlTest, ListAssignmentsLogsOneLinePerKey)
{
    fLog.Attach();
    fControl->ListAssignments(QStringLiteral("Board A"));
    ASSERT_EQ(fLog.Count(), 1);
    EXPECT_TRUE(fLog.Lines()[0].sText.endsWith(QStringLiteral("Info: No keys assigned in \"Board A\"")));

    fLog.Clear();
    fControl->AppendKey(0x75, QStringLiteral("Step"));
    fControl->AppendKey(0x12AB0C, QStringLiteral("&Open..."));
    fControl->ListAssignments(QStringLiteral("Board A"));
    ASSERT_EQ(fLog.Count(), 3);
    EXPECT_TRUE(fLog.Lines()[0].sText.endsWith(QStringLiteral("Info: 2 assigned keys in \"Board A\":")));
    EXPECT_TRUE(fLog.Lines()[1].sText.endsWith(QStringLiteral("Info: 1: Key 0x75 = Function \"Step\"")));
    EXPECT_TRUE(
        fLog.Lines()[2].sText.endsWith(QStringLiteral("Info: 2: Key 0x12AB0C = Function \"&Open...\"")));
}

TEST(VirtualKeyCodeTest, QtKeysMapToTheDefinitionsKeyNumbers)
{
    struct TCase
    {
        int iQtKey;
        bool bKeypad;
        int iCode;
    };
    const TCase cases[] = {
        {Qt::Key_F1, false, 0x70},    {Qt::Key_F6, false, 0x75},     {Qt::Key_F12, false, 0x7B},
        {Qt::Key_Alt, false, 0x12},   {Qt::Key_1, false, 0x31},      {Qt::Key_1, true, 0x61},
        {Qt::Key_A, false, 0x41},     {Qt::Key_Return, false, 0x0D}, {Qt::Key_Escape, false, 0x1B},
        {Qt::Key_Space, false, 0x20}, {Qt::Key_Down, false, 0x28},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(VirtualKeyCode(c.iQtKey, c.bKeypad), c.iCode) << std::hex << c.iQtKey;
    EXPECT_GE(VirtualKeyCode(Qt::Key_VolumeUp, false), 256) << "keys without a number are ignored by ReadIn";
}
