#include "ui/MessageLogView.h"

#include "core/MsgClasses.h"
#include "core/MsgLog.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <QToolTip>

#include <gtest/gtest.h>

namespace {

class MessageLogViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fLog.SetClock([] { return QTime(9, 8, 7, 6); });
        fLog.SetShowTrace(true);
        fLog.SetShowDebug(true);
        fLog.Attach();
    }
    void TearDown() override
    {
        fLog.Detach();
        TMsgClass::ReleaseSingleton();
    }

    TMsgLog fLog;
};

} // namespace

TEST_F(MessageLogViewTest, EachLineHasTheColourOfItsType)
{
    TMessageLogView view(fLog);
    TMsg::Debug(QStringLiteral("d"));
    TMsg::Trace(QStringLiteral("t"));
    TMsg::Info(QStringLiteral("i"));
    TMsg::Warning(QStringLiteral("w"));
    TMsg::Error(QStringLiteral("e\r\nID: 010203:0"));
    TMsg::Fatal(QStringLiteral("f"));
    QAbstractItemModel* model = view.model();
    ASSERT_EQ(model->rowCount(), 7);
    const QColor expected[] = {
        QColor(0, 128, 128), QColor(128, 128, 128), QToolTip::palette().color(QPalette::ToolTipText),
        QColor(0, 0, 255),   QColor(255, 0, 0),     QColor(255, 0, 0),
        QColor(255, 0, 0)};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(model->index(i, 0).data(Qt::ForegroundRole).value<QColor>(), expected[i]) << i;
    EXPECT_EQ(model->index(5, 0).data().toString(), QStringLiteral("> ID: 010203:0"));
    EXPECT_EQ(model->index(0, 0).data().toString(), QStringLiteral("09:08:07.006 Debug: d"));
}

TEST_F(MessageLogViewTest, CopyPutsSelectedLinesOnTheClipboard)
{
    TMessageLogView view(fLog);
    TMsg::Info(QStringLiteral("first"));
    TMsg::Info(QStringLiteral("second"));
    TMsg::Info(QStringLiteral("third"));
    QApplication::clipboard()->setText(QStringLiteral("unchanged"));
    EXPECT_FALSE(view.CopySelection()) << "nothing selected: nothing copied";
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("unchanged"));

    view.selectionModel()->select(view.model()->index(2, 0), QItemSelectionModel::Select);
    view.selectionModel()->select(view.model()->index(0, 0), QItemSelectionModel::Select);
    EXPECT_TRUE(view.CopySelection());
    EXPECT_EQ(QApplication::clipboard()->text(),
              QStringLiteral("09:08:07.006 Info: first\r\n09:08:07.006 Info: third\r\n"));
}

TEST_F(MessageLogViewTest, TrimmingAndClearingFollowTheLog)
{
    TMessageLogView view(fLog);
    for (int i = 0; i < TMsgLog::ciTrimAbove; ++i)
        TMsg::Info(QStringLiteral("line %d"), {i});
    EXPECT_EQ(view.model()->rowCount(), TMsgLog::ciTrimAbove);
    TMsg::Info(QStringLiteral("one more"));
    EXPECT_EQ(view.model()->rowCount(), fLog.Count());
    EXPECT_EQ(view.model()->index(view.model()->rowCount() - 1, 0).data().toString(),
              QStringLiteral("09:08:07.006 Info: one more"));
    EXPECT_EQ(view.model()->index(0, 0).data().toString(), fLog.Lines().front().sText);
    fLog.Clear();
    EXPECT_EQ(view.model()->rowCount(), 0);
}

// A filtered view (one socket of a station) shows only its lines, in order, through the log's
// trimming and clearing; a copy of its selection takes the lines shown, never the hidden ones.
TEST_F(MessageLogViewTest, FilteredViewFollowsTheLogAndCopiesOnlyShownLines)
{
    TMessageLogView view(fLog);
    TMsg::Info(QStringLiteral("[1] before"));
    TMsg::Info(QStringLiteral("[2] other"));
    view.SetLineFilter([](const QString& sLine) { return sLine.contains(QStringLiteral("[1] ")); });
    QAbstractItemModel* model = view.model();
    ASSERT_EQ(model->rowCount(), 1);
    EXPECT_EQ(model->index(0, 0).data().toString(), QStringLiteral("09:08:07.006 Info: [1] before"));

    for (int i = 0; i < TMsgLog::ciTrimAbove; ++i)
        TMsg::Info(QStringLiteral("[%d] line %d"), {1 + i % 2, i});
    // Every shown row is a line of socket 1 that the log still has, in the log's order.
    int iLast = -1;
    for (int iRow = 0; iRow < model->rowCount(); ++iRow) {
        const int iLine = view.ShownLine(iRow);
        ASSERT_GT(iLine, iLast) << iRow;
        ASSERT_LT(iLine, fLog.Count());
        EXPECT_EQ(model->index(iRow, 0).data().toString(), fLog.Lines()[std::size_t(iLine)].sText);
        EXPECT_TRUE(fLog.Lines()[std::size_t(iLine)].sText.contains(QStringLiteral("[1] ")));
        iLast = iLine;
    }
    int iOwn = 0;
    for (const TLogLine& line : fLog.Lines())
        iOwn += line.sText.contains(QStringLiteral("[1] ")) ? 1 : 0;
    EXPECT_EQ(model->rowCount(), iOwn);

    view.selectionModel()->select(model->index(model->rowCount() - 1, 0), QItemSelectionModel::Select);
    EXPECT_TRUE(view.CopySelection());
    EXPECT_EQ(QApplication::clipboard()->text(),
              fLog.Lines()[std::size_t(iLast)].sText + QStringLiteral("\r\n"));

    view.SetLineFilter(nullptr);
    EXPECT_EQ(model->rowCount(), fLog.Count());
    view.SetLineFilter([](const QString& sLine) { return sLine.contains(QStringLiteral("[2] ")); });
    fLog.Clear();
    EXPECT_EQ(model->rowCount(), 0);
    TMsg::Info(QStringLiteral("[2] after"));
    TMsg::Info(QStringLiteral("[1] not shown"));
    ASSERT_EQ(model->rowCount(), 1);
    EXPECT_EQ(model->index(0, 0).data().toString(), QStringLiteral("09:08:07.006 Info: [2] after"));
}

TEST_F(MessageLogViewTest, SelectedLineKeepsItsColourOnLightBlue)
{
    TMessageLogView view(fLog);
    view.resize(400, 200);
    QFont font = view.font();
    font.setPixelSize(14);
    font.setBold(true);
    view.setFont(font);
    TMsg::Error(QStringLiteral("WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW"));
    TMsg::Info(QStringLiteral("x"));
    view.selectionModel()->select(view.model()->index(0, 0), QItemSelectionModel::Select);
    view.show();
    const QImage image = view.viewport()->grab().toImage();
    const QRect row = view.visualRect(view.model()->index(0, 0));
    ASSERT_TRUE(row.isValid());
    bool bBlue = false;
    bool bRed = false;
    for (int x = row.left(); x < std::min(row.right(), image.width()); ++x) {
        for (int y = row.top(); y <= std::min(row.bottom(), image.height() - 1); ++y) {
            const QColor pixel = image.pixelColor(x, y);
            bBlue = bBlue || pixel == TMessageLogDelegate::SelectedBackground();
            bRed = bRed || (pixel.red() > 200 && pixel.green() < 60 && pixel.blue() < 60);
        }
    }
    EXPECT_TRUE(bBlue) << "selected rows are filled light blue";
    EXPECT_TRUE(bRed) << "the error text stays red on it";
    EXPECT_GE(view.horizontalScrollBar()->maximum(), TMessageLogDelegate::ciScrollWidth - 400)
        << "the log scrolls sideways to 2000 pixels";
}
