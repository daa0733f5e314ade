#include "TestDevices.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "execution/Job.h"
#include "execution/TestTree.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

class JobTest : public ::testing::Test
{
protected:
    void TearDown() override { TMsgClass::ReleaseSingleton(); }

    // A work node under aParent with its own command.
    TTreeNode* Work(TTreeNode* aParent, const QString& sLabel, ECmdResult eResult = crDone)
    {
        auto cmd = std::make_unique<TTestCmd>(&fDevice);
        cmd->feImmediate = eResult;
        TTestCmd* pCmd = static_cast<TTestCmd*>(fDevice.AddCommand(QStringLiteral("S1"), std::move(cmd)));
        return TJob::CreateNewJob(sLabel, fTree, aParent, pCmd, ecWorkCase, false);
    }
    TTreeNode* Case(TTreeNode* aParent, const QString& sLabel, ECaseType eType = ecNormalCase)
    {
        return TJob::CreateNewJob(sLabel, fTree, aParent, nullptr, eType, true);
    }
    static TTestCmd* CmdOf(TTreeNode* aNode) { return static_cast<TTestCmd*>(aNode->Job()->Cmd()); }
    static void Run(TTreeNode* aNode) { aNode->Job()->Execute(aNode->Text()); }

    TTestDevice fDevice;
    TTestTree fTree;
};

TEST_F(JobTest, NumbersNodesByPosition)
{
    std::vector<QString> hints;
    TMsgClass::Instance().SetOnNewMsg([&](const void*, TMsgId aId, const QString& sText) {
        if (aId.TypeNo() == eHint)
            hints.push_back(sText);
    });
    TTreeNode* c1 = Case(nullptr, QStringLiteral("First"));
    Work(c1, QStringLiteral("a"));
    Work(c1, QStringLiteral("b"));
    TTreeNode* inner = Case(c1, QStringLiteral("Inner"));
    TTreeNode* deep = Work(inner, QStringLiteral("deep"));
    TTreeNode* c2 = Case(nullptr, QStringLiteral("Second"), ecFinalCase);
    EXPECT_EQ(fTree.Node(2)->Text(), QStringLiteral("1.2. b"));
    EXPECT_EQ(inner->Text(), QStringLiteral("1.3. Inner"));
    EXPECT_EQ(deep->Job()->GetName(), QStringLiteral("1.3.1. deep"));
    EXPECT_EQ(c2->Text(), QStringLiteral("2. Second"));
    EXPECT_EQ(c2->ImageIndex(), StateImageIndex(EImage::NotRun));
    EXPECT_EQ(c2->Job()->CaseType(), ecFinalCase);
    EXPECT_TRUE(c2->Job()->Expanded());
    ASSERT_EQ(hints.size(), 6u);
    EXPECT_EQ(hints[4], QStringLiteral("1.3.1. deep"));
    EXPECT_EQ(fTree.Next(deep), c2);
    EXPECT_EQ(fTree.Next(c2), nullptr);
}

TEST_F(JobTest, ResultsSetPassedAndImage)
{
    struct
    {
        ECmdResult eResult;
        bool bPassed;
        int iImage;
    } const cases[] = {{crDone, true, 11}, {crBreak, true, 11}, {crOk, true, 13}, {crFailed, false, 5}};
    for (const auto& c : cases) {
        TTreeNode* node = Work(nullptr, QStringLiteral("x"), c.eResult);
        int iFinished = 0;
        node->Job()->SetOnFinished([&](TJob*) { ++iFinished; });
        Run(node);
        EXPECT_EQ(node->Job()->Passed(), c.bPassed) << int(c.eResult);
        EXPECT_EQ(node->ImageIndex(), c.iImage) << int(c.eResult);
        EXPECT_EQ(iFinished, 1);
        EXPECT_FALSE(CmdOf(node)->OnResult()) << "the job unassigns the command's event";
    }
}

TEST_F(JobTest, ExecutePassesTheNodeTextAndShowsRunning)
{
    TTreeNode* node = Work(nullptr, QStringLiteral("Measure"), crUnknown);
    Run(node);
    EXPECT_EQ(CmdOf(node)->fsLastParameter, QStringLiteral("1. Measure"));
    EXPECT_EQ(node->ImageIndex(), StateImageIndex(EImage::Running));
    CmdOf(node)->Finish(crOk);
    EXPECT_EQ(node->ImageIndex(), StateImageIndex(EImage::Ok));
}

TEST_F(JobTest, EnclosingCaseFollowsItsLastChildOnly)
{
    TTreeNode* c1 = Case(nullptr, QStringLiteral("Case"));
    TTreeNode* n1 = Work(c1, QStringLiteral("passes"));
    TTreeNode* n2 = Work(c1, QStringLiteral("fails"), crFailed);
    TTreeNode* n3 = Work(c1, QStringLiteral("last"));
    Run(c1);
    EXPECT_EQ(c1->ImageIndex(), StateImageIndex(EImage::Running));
    Run(n1);
    Run(n2);
    EXPECT_EQ(c1->ImageIndex(), StateImageIndex(EImage::Running)) << "1.2 is not the last child";
    n3->Job()->SetEnabled(false);
    EXPECT_EQ(n3->ImageIndex(), StateImageIndex(EImage::Disabled));
    EXPECT_EQ(c1->ImageIndex(), StateImageIndex(EImage::Running));
    n3->Job()->SetEnabled(true);
    Run(n3);
    EXPECT_EQ(c1->ImageIndex(), StateImageIndex(EImage::Failed));
}

TEST_F(JobTest, NestedCasesUpdateInOnePass)
{
    TTreeNode* outer = Case(nullptr, QStringLiteral("Outer"));
    TTreeNode* disabled = Work(outer, QStringLiteral("off"));
    disabled->Job()->SetEnabled(false);
    TTreeNode* inner = Case(outer, QStringLiteral("Inner"));
    TTreeNode* last = Work(inner, QStringLiteral("last"), crDone);
    outer->Job()->SetBreakPoint(true);
    Run(outer);
    Run(inner);
    Run(last);
    EXPECT_EQ(inner->ImageIndex(), StateImageIndex(EImage::Ok));
    EXPECT_EQ(outer->ImageIndex(), StateImageIndex(EImage::Ok, true)) << "the break point offset stays";
}

TEST_F(JobTest, BreakPointsAndResetMoveTheImage)
{
    TTreeNode* node = Work(nullptr, QStringLiteral("x"), crFailed);
    Run(node);
    node->Job()->SetBreakPoint(true);
    EXPECT_EQ(node->ImageIndex(), 6);
    node->Job()->SetBreakPoint(false);
    EXPECT_EQ(node->ImageIndex(), 5);
    node->Job()->SetBreakPoint(true);
    node->Job()->Reset();
    EXPECT_EQ(node->ImageIndex(), 8);
    EXPECT_FALSE(node->Job()->Passed());

    TTreeNode* dummy = TJob::CreateNewJob(QStringLiteral("d"), fTree, nullptr, nullptr, ecDummy, false);
    EXPECT_EQ(dummy->ImageIndex(), StateImageIndex(EImage::Dummy));
    dummy->Job()->SetEnabled(false);
    EXPECT_EQ(dummy->ImageIndex(), StateImageIndex(EImage::Disabled));
    dummy->Job()->Reset();
    EXPECT_EQ(dummy->ImageIndex(), StateImageIndex(EImage::Dummy));
    Run(dummy);
    EXPECT_TRUE(dummy->Job()->Passed());
    EXPECT_EQ(dummy->ImageIndex(), StateImageIndex(EImage::Dummy));
}

TEST_F(JobTest, CancelConcludesFailedAndIgnoresLateResults)
{
    TTreeNode* node = Work(nullptr, QStringLiteral("wait"), crUnknown);
    int iFinished = 0;
    node->Job()->SetOnFinished([&](TJob*) { ++iFinished; });
    Run(node);
    node->Job()->Cancel();
    EXPECT_EQ(CmdOf(node)->fiCancels, 1);
    EXPECT_EQ(CmdOf(node)->CmdResult(), crCancelled);
    EXPECT_EQ(node->ImageIndex(), StateImageIndex(EImage::Failed));
    EXPECT_EQ(iFinished, 1);
    CmdOf(node)->Finish(crOk);
    EXPECT_EQ(iFinished, 1);
    EXPECT_EQ(node->ImageIndex(), StateImageIndex(EImage::Failed));

    TTreeNode* header = Case(nullptr, QStringLiteral("header"));
    Run(header);
    EXPECT_TRUE(header->Job()->Passed());
    header->Job()->Cancel();
    EXPECT_TRUE(header->Job()->Passed()) << "a case's passed flag is left as it was";
}

TEST_F(JobTest, CommandFaultsFailTheStepInsteadOfHanging)
{
    TTreeNode* unknown = Work(nullptr, QStringLiteral("no result"), crUnknown);
    int iFinished = 0;
    unknown->Job()->SetOnFinished([&](TJob*) { ++iFinished; });
    Run(unknown);
    CmdOf(unknown)->Finish(crUnknown);
    EXPECT_EQ(iFinished, 1);
    EXPECT_FALSE(unknown->Job()->Passed());
    EXPECT_EQ(unknown->ImageIndex(), StateImageIndex(EImage::Failed));
    EXPECT_EQ(unknown->Job()->ErrorText(), QStringLiteral("Command concluded without result"));

    TTreeNode* throwing = Work(nullptr, QStringLiteral("throws"));
    CmdOf(throwing)->fbThrow = true;
    throwing->Job()->SetOnFinished([&](TJob*) { ++iFinished; });
    Run(throwing);
    EXPECT_EQ(iFinished, 2);
    EXPECT_FALSE(throwing->Job()->Passed());
    EXPECT_EQ(throwing->Job()->ErrorText(), QStringLiteral("device gone"));

    CmdOf(throwing)->fbThrow = false;
    Run(throwing);
    EXPECT_TRUE(throwing->Job()->Passed());
    EXPECT_TRUE(throwing->Job()->ErrorText().isEmpty());
}

TEST(StateImageTest, IndicesMapToImagesInBothForms)
{
    const struct
    {
        int iIndex;
        std::optional<EImage> eImage;
    } cases[] = {{0, std::nullopt},   {1, EImage::Dummy},    {2, EImage::Dummy}, {6, EImage::Failed},
                 {7, EImage::NotRun}, {10, EImage::Running}, {13, EImage::Ok},   {14, EImage::Ok},
                 {15, std::nullopt},  {-1, std::nullopt}};
    for (const auto& c : cases)
        EXPECT_TRUE(StateImageOf(c.iIndex) == c.eImage) << c.iIndex;
    for (const EImage e : {EImage::Dummy, EImage::Disabled, EImage::Failed, EImage::NotRun, EImage::Running,
                           EImage::Done, EImage::Ok}) {
        EXPECT_EQ(StateImageOf(StateImageIndex(e, false)), e);
        EXPECT_EQ(StateImageOf(StateImageIndex(e, true)), e);
    }
}

TEST_F(JobTest, UnknownSiblingImageRaisesWithTheResult)
{
    TTreeNode* c1 = Case(nullptr, QStringLiteral("Case"));
    TTreeNode* odd = Work(c1, QStringLiteral("odd"));
    TTreeNode* last = Work(c1, QStringLiteral("last"), crUnknown);
    odd->SetImageIndex(0);
    Run(last);
    try {
        CmdOf(last)->Finish(crOk);
        FAIL() << "no error";
    } catch (const EMsg& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("07020A:") + QString::number(int(crOk)));
    }
}

TEST_F(JobTest, TreeRefusesAppendingOffThePath)
{
    TTreeNode* c1 = Case(nullptr, QStringLiteral("one"));
    Case(nullptr, QStringLiteral("two"));
    EXPECT_THROW(Work(c1, QStringLiteral("late")), EError);
}

} // namespace
