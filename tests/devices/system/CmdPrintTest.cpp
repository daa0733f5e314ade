#include "devices/system/CmdPrint.h"
#include "TestContext.h"
#include "devices/system/DeviceSys.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/VariableManager.h"
#include "execution/DeviceList.h"
#include "reporting/RichEditPaper.h"

#include "CupsTestServer.h"
#include "PdfTools.h"
#include "TestEnvironment.h"

#include <QDate>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace sys;

namespace {

// The Print function of a System Control device, on a private printing system with one queue.
class CmdPrintTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fCups.Running()) << fCups.Error().toStdString();
        ASSERT_TRUE(fCups.AddQueue(QStringLiteral("Label_Printer")));
        TMsgClass::Instance().SetOnNewMsg([this](const void*, TMsgId aId, const QString& s) {
            if (aId.TypeNo() >= eError)
                fErrors << s;
        });
        fTemplate =
            fDir.WriteText(QStringLiteral("label.rtf"),
                           QStringLiteral("{\\rtf1\\ansi\\fs24 Serial %Serial\\par Made %Made\\par}\n"));
    }
    void TearDown() override
    {
        TVariableManager::InstanceRelease();
        TMsgClass::ReleaseSingleton();
    }

    TCmdPrint* Make(const QString& sParameter)
    {
        return dynamic_cast<TCmdPrint*>(
            fSys.Command(QStringLiteral("Print"))->Init(QStringLiteral("Print"), sParameter));
    }
    QString Line(const QString& sTemplate, const QString& sPrinter = QStringLiteral("label_printer"),
                 const QString& sOrientation = QStringLiteral("Portrait")) const
    {
        return QStringLiteral("\"Type label\"; \"%1\"; \"%2\"; %3; 5; 5; 5; 5")
            .arg(sTemplate, sPrinter, sOrientation);
    }

    TCupsTestServer fCups;
    TTestDir fDir;
    TDeviceSys fSys{TestContext()};
    QString fTemplate;
    QStringList fErrors;
};

TEST_F(CmdPrintTest, InitReadsTheLine)
{
    TCmdPrint* pCmd = Make(Line(fTemplate, QStringLiteral("LABEL_PRINTER"), QStringLiteral(" LANDSCAPE ")));
    ASSERT_NE(pCmd, nullptr);
    EXPECT_EQ(pCmd->Caption(), QStringLiteral("Type label"));
    EXPECT_EQ(pCmd->TemplateFile(), fTemplate);
    EXPECT_EQ(pCmd->PrinterName(), QStringLiteral("LABEL_PRINTER"));
    EXPECT_EQ(pCmd->Paper().Orientation(), poLandscape);
    EXPECT_FLOAT_EQ(pCmd->Paper().MarginLeft(), 5.0f);
    EXPECT_FLOAT_EQ(pCmd->Paper().MarginBottom(), 5.0f);
    EXPECT_NE(Make(Line(fTemplate)), pCmd) << "one command per line";
}

TEST_F(CmdPrintTest, InitErrors)
{
    struct TCase
    {
        QString sParameter;
        quint32 uId;
        QString sText;
    };
    const QString sMissing = fDir.FilePath(QStringLiteral("none.rtf"));
    const TCase cases[] = {
        {Line(sMissing), 0x02010A, QStringLiteral("File not found: \"%1\"").arg(sMissing)},
        {Line(fTemplate, QStringLiteral("Office")), 0x118114,
         QStringLiteral("Printer \"Office\" not found!")},
        {Line(fTemplate, QStringLiteral("Label_Printer"), QStringLiteral("Sideways")), 0x11811E,
         QStringLiteral("Unknown printer orientation \"Sideways\"!")},
    };
    for (const TCase& c : cases) {
        const EMsg e = RaisedMsg([&] { Make(c.sParameter); });
        EXPECT_EQ(e.Id().Value, c.uId) << c.sParameter.toStdString();
        EXPECT_EQ(e.Text(), c.sText);
    }
    const QString sBadMargin =
        QStringLiteral("\"x\"; \"%1\"; Label_Printer; Portrait; 5; five; 5; 5").arg(fTemplate);
    EXPECT_THROW(Make(sBadMargin), EConvertError);
}

TEST_F(CmdPrintTest, PrintsVariablesThenDateTags)
{
    TVariableManager& variables = TVariableManager::Instance();
    variables.SetValue(QStringLiteral("Serial"), QStringLiteral("A{7}\\B"));
    // A value holding a date tag gets the date as well: the tags are replaced after the values.
    variables.SetValue(QStringLiteral("Made"), QStringLiteral("week of %YYYY"));
    TCmdPrint* pCmd = Make(Line(fTemplate));
    const QString sPdf = fDir.FilePath(QStringLiteral("label.pdf"));
    pCmd->Paper().SetOutputFileName(sPdf);
    pCmd->Execute(QStringLiteral("Type label"));
    EXPECT_EQ(pCmd->CmdResult(), crDone);
    EXPECT_EQ(ReadPdfLines(sPdf),
              (QStringList{QStringLiteral("Serial A{7}\\B"),
                           QStringLiteral("Made week of %1").arg(QDate::currentDate().year())}));
}

TEST_F(CmdPrintTest, Utf8TemplatePrintsWhatTheAnsiCodePageHolds)
{
    const QString sTemplate = fDir.Write(QStringLiteral("utf8.rtf"),
                                         "\xEF\xBB\xBF{\\rtf1\\ansi 5 \xE2\x82\xAC \xC3\xA4 \xCE\xA9}\n");
    TCmdPrint* pCmd = Make(Line(sTemplate));
    const QString sPdf = fDir.FilePath(QStringLiteral("utf8.pdf"));
    pCmd->Paper().SetOutputFileName(sPdf);
    pCmd->Execute(QString());
    EXPECT_EQ(pCmd->CmdResult(), crDone);
    EXPECT_EQ(ReadPdfLines(sPdf), QStringList{QStringLiteral("5 \u20ac \u00e4 ?")});
}

TEST_F(CmdPrintTest, PrintsOnTheQueueUnderItsCaptionEveryTime)
{
    TVariableManager::Instance().SetValue(QStringLiteral("Serial"), QStringLiteral("42"));
    TCmdPrint* pCmd = Make(Line(fTemplate, QStringLiteral("LABEL_printer"), QStringLiteral("portrait")));
    pCmd->Execute(QString());
    EXPECT_EQ(pCmd->CmdResult(), crDone);
    ASSERT_TRUE(fCups.WaitForCompletedJobs(QStringLiteral("Label_Printer"), 1));
    const QString sOut = fCups.OutputFile(QStringLiteral("Label_Printer"));
    EXPECT_EQ(ReadPdfInfo(sOut).iPages, 1);
    const QRectF word = ReadPdfFirstWordBox(sOut);
    EXPECT_GT(word.width(), word.height()) << "portrait text runs along the paper";
    EXPECT_EQ(ReadPdfLines(sOut).value(0), QStringLiteral("Serial 42"));

    pCmd->Execute(QString());
    EXPECT_EQ(pCmd->CmdResult(), crDone);
    ASSERT_TRUE(fCups.WaitForCompletedJobs(QStringLiteral("Label_Printer"), 2));
    EXPECT_EQ(fCups.JobTitles(QStringLiteral("Label_Printer")),
              (QStringList{QStringLiteral("Type label"), QStringLiteral("Type label")}));
    EXPECT_TRUE(fErrors.isEmpty()) << fErrors.join(QLatin1Char('\n')).toStdString();
}

TEST_F(CmdPrintTest, RemovedPrinterFailsTheStep)
{
    TCmdPrint* pCmd = Make(Line(fTemplate));
    ASSERT_TRUE(fCups.Remove(QStringLiteral("Label_Printer")));
    pCmd->Execute(QString());
    EXPECT_EQ(pCmd->CmdResult(), crFailed);
    EXPECT_EQ(pCmd->ErrorText(), QStringLiteral("Printer \"label_printer\" not found!"));
    EXPECT_EQ(fErrors, QStringList{QStringLiteral("Printer \"label_printer\" not found!")});
}

TEST_F(CmdPrintTest, UnreadableTemplateIsFatal)
{
    TCmdPrint* pCmd = Make(Line(fTemplate));
    ASSERT_TRUE(QFile::remove(fTemplate));
    ASSERT_TRUE(QDir().mkdir(fTemplate)) << "a folder in the template's place";
    pCmd->Execute(QString());
    EXPECT_EQ(pCmd->CmdResult(), crFailed);
    ASSERT_EQ(fErrors.size(), 1);
    EXPECT_TRUE(
        fErrors[0].startsWith(QStringLiteral("Printing failed with error: Can not read template file")))
        << fErrors[0].toStdString();
    EXPECT_EQ(pCmd->ErrorText(), fErrors[0]);
    EXPECT_TRUE(fCups.JobTitles(QStringLiteral("Label_Printer")).isEmpty()) << "nothing printed";
}

// Label generators write table rows without marking their paragraphs as in a table.
TEST_F(CmdPrintTest, TableRowsWithoutTheirMarkPrintTheirCells)
{
    const QString sTemplate =
        fDir.WriteText(QStringLiteral("table.rtf"),
                       QStringLiteral("{\\rtf1\\ansi\\fs24 Serial %Serial\\par\n"
                                      "\\trowd\\cellx3000\\cellx6000 Cell A\\cell Cell B\\cell\\row\n"
                                      "a\\cell b\\par\n"
                                      "{\\intbl c\\cell}d\\par}\n"));
    TVariableManager::Instance().SetValue(QStringLiteral("Serial"), QStringLiteral("42"));
    TCmdPrint* pCmd = Make(Line(sTemplate));
    const QString sPdf = fDir.FilePath(QStringLiteral("table.pdf"));
    pCmd->Paper().SetOutputFileName(sPdf);
    pCmd->Execute(QString());
    EXPECT_EQ(pCmd->CmdResult(), crDone);
    EXPECT_EQ(ReadPdfLines(sPdf).join(QLatin1Char(' ')), QStringLiteral("Serial 42 Cell A Cell B a b c d"));
    EXPECT_TRUE(fErrors.isEmpty()) << fErrors.join(QLatin1Char('\n')).toStdString();
}

} // namespace
