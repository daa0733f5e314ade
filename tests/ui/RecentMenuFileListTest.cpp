#include "ui/RecentMenuFileList.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include <gtest/gtest.h>

namespace {

class RecentMenuFileListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QMenu* file = fWindow.menuBar()->addMenu(QStringLiteral("&File"));
        file->addAction(QStringLiteral("&Open..."));
        file->addAction(QStringLiteral("Reload"));
        file->addSeparator();
        file->addSeparator();
        file->addAction(QStringLiteral("E&xit"));
        fMenu = file;
        fList = new TRecentMenuFileList(fWindow.menuBar(), &fWindow, 0, 3);
        fList->SetHint(QStringLiteral("Open recent file"));
        fList->SetOnOpenFile([this](const QString& sFile) { fOpened.append(sFile); });
    }

    // The captions of the menu between the two separators.
    QStringList MenuEntries() const
    {
        QStringList entries;
        const QList<QAction*> items = fMenu->actions();
        for (int i = 3; i < items.size() && !items[i]->isSeparator(); ++i)
            entries.append(items[i]->text());
        return entries;
    }

    QMainWindow fWindow;
    QMenu* fMenu = nullptr;
    TRecentMenuFileList* fList = nullptr;
    QStringList fOpened;
};

QString File(int i)
{
    return QStringLiteral("/data/defs/board%1.tzd").arg(i);
}

} // namespace

TEST_F(RecentMenuFileListTest, ElevenFilesLeaveTenNewestOnTop)
{
    for (int i = 1; i <= 11; ++i)
        fList->Insert(File(i));
    QStringList expected;
    for (int i = 11; i >= 2; --i)
        expected.append(File(i));
    EXPECT_EQ(fList->Files(), expected);
    EXPECT_EQ(MenuEntries(), expected) << "the entries sit between the separators after Reload";
    EXPECT_EQ(fMenu->actions().size(), 5 + 10);
    EXPECT_EQ(fMenu->actions().last()->text(), QStringLiteral("E&xit"));

    // Reopening the third entry moves it and its menu item to the top; a different case is the
    // same file.
    fList->Insert(File(9).toUpper());
    expected.move(2, 0);
    EXPECT_EQ(fList->Files(), expected);
    EXPECT_EQ(MenuEntries(), expected);
    fList->Insert(File(9));
    EXPECT_EQ(fList->Files(), expected) << "the top entry stays where it is";
}

TEST_F(RecentMenuFileListTest, ItemsCarryNameHintAndOpenTheirFile)
{
    fList->Insert(File(1));
    fList->Insert(File(2));
    QAction* item = fList->MenuItem(1);
    EXPECT_EQ(item->text(), File(1));
    EXPECT_EQ(item->objectName(), QStringLiteral("mnuTemp1"));
    EXPECT_EQ(fList->MenuItem(0)->objectName(), QStringLiteral("mnuTemp2"));
    EXPECT_EQ(item->statusTip(), QStringLiteral("Open recent file"));
    item->trigger();
    EXPECT_EQ(fOpened, QStringList{File(1)});
}

TEST_F(RecentMenuFileListTest, FileListTextRoundTrip)
{
    fList->LoadFileList(File(1) + QStringLiteral("\r\n") + File(2) + QStringLiteral("\r\n") + File(3) +
                        QStringLiteral("\r\n"));
    EXPECT_EQ(fList->Files(), (QStringList{File(1), File(2), File(3)})) << "the first line ends up on top";
    EXPECT_EQ(fList->GetFileList(), File(1) + QStringLiteral("\r\n") + File(2) + QStringLiteral("\r\n") +
                                        File(3) + QStringLiteral("\r\n"));
    EXPECT_EQ(MenuEntries(), (QStringList{File(1), File(2), File(3)}));
}
