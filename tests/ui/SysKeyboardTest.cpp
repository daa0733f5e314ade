#include "UiTestSupport.h"

#include "ui/SysKeyboard.h"

#include <QApplication>
#include <QLineEdit>

#include <gtest/gtest.h>

TEST(SysKeyboardTest, SynthesisedKeysReachTheFocusedControl)
{
    QLineEdit edit;
    edit.show();
    QApplication::setActiveWindow(&edit);
    edit.setFocus();
    ASSERT_TRUE(RunUntil([&] { return edit.hasFocus(); }));

    TSysKeyboard::Key(0x41, true);
    TSysKeyboard::Key(0x41, false);
    EXPECT_FALSE(TSysKeyboard::ShiftDown());
    TSysKeyboard::Key(0x10, true);
    EXPECT_TRUE(TSysKeyboard::ShiftDown()) << "a synthesised press is held until its release";
    TSysKeyboard::Key(0x42, true);
    TSysKeyboard::Key(0x42, false);
    TSysKeyboard::Key(0x10, false);
    EXPECT_FALSE(TSysKeyboard::ShiftDown());
    TSysKeyboard::Key(0x33, true);
    TSysKeyboard::Key(0x33, false);
    ASSERT_TRUE(RunUntil([&] { return edit.text().size() == 3; })) << edit.text().toStdString();
    EXPECT_EQ(edit.text(), QStringLiteral("aB3"));
    EXPECT_FALSE(TSysKeyboard::CtrlDown());
    EXPECT_FALSE(TSysKeyboard::AltDown());
}

TEST(SysKeyboardTest, VirtualKeysMapToQtKeys)
{
    EXPECT_EQ(TSysKeyboard::QtKey(0x75), int(Qt::Key_F6));
    EXPECT_EQ(TSysKeyboard::QtKey(0x12), int(Qt::Key_Alt));
    EXPECT_EQ(TSysKeyboard::QtKey(0x0D), int(Qt::Key_Return));
    EXPECT_EQ(TSysKeyboard::QtKey(0x61), int(Qt::Key_1));
    EXPECT_EQ(TSysKeyboard::QtKey(0x5A), int(Qt::Key_Z));
    EXPECT_EQ(TSysKeyboard::QtKey(0xFF), 0);
}
