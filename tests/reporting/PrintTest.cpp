#include "reporting/ErrorReport.h"
#include "reporting/RichEditPaper.h"
#include "reporting/RtfText.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/VariableManager.h"

#include "CupsTestServer.h"
#include "PdfTools.h"
#include "TestEnvironment.h"

#include <QDate>
#include <QFile>

#include <gtest/gtest.h>

namespace {

TEST(RichEditPaperTest, PageRectangleFromMarginsAndPrintableArea)
{
    struct TCase
    {
        float fLeft, fTop, fRight, fBottom;
        int iDpiX, iDpiY, iOffX, iOffY, iWidth, iHeight;
        QRect expected;
    };
    const TCase cases[] = {
        // No margins: the printable area, shifted back by its offsets.
        {0, 0, 0, 0, 600, 600, 25, 30, 4800, 6400, QRect(QPoint(-25, -30), QPoint(4774, 6369))},
        {0, 0, 0, 0, 300, 300, 0, 0, 2480, 3508, QRect(0, 0, 2480, 3508)},
        // 10 mm at 600 dpi is 236.2 pixels, 20 mm at 300 dpi 236.2 as well.
        {10, 20, 10, 20, 600, 300, 0, 0, 4800, 3200, QRect(QPoint(236, 236), QPoint(4563, 2963))},
        // 25.4 mm is one inch whatever the resolution; offsets come off every side.
        {25.4f, 25.4f, 50.8f, 12.7f, 200, 100, 10, 20, 1700, 1100,
         QRect(QPoint(190, 80), QPoint(1289, 1029))},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(TRichEditPaper::PageRect(c.fLeft, c.fTop, c.fRight, c.fBottom, c.iDpiX, c.iDpiY, c.iOffX,
                                           c.iOffY, c.iWidth, c.iHeight),
                  c.expected)
            << c.fLeft << " " << c.iDpiX;
}

TEST(RtfTextTest, InsertedValuesPrintAsWritten)
{
    EXPECT_EQ(RtfEscapeValue(QStringLiteral("C:\\a\\b {x} %Y")), QStringLiteral("C:\\\\a\\\\b \\{x\\} %Y"));
    EXPECT_EQ(RtfEscapeValue(QStringLiteral("J\u00f6rg \u03a9")),
              QStringLiteral("J{\\uc1\\u246?}rg {\\uc1\\u937?}"));
    // Code units above 7FFF are negative numbers in RTF.
    EXPECT_EQ(RtfEscapeValue(QString(QChar(0xFB01))), QStringLiteral("{\\uc1\\u-1279?}"));
    EXPECT_EQ(StringToAnsi(QStringLiteral("\u20ac \u00e4 \u03a9")), QByteArray("\x80 \xe4 ?"));
    EXPECT_EQ(AnsiToString(QByteArray("\x80\x81\xe4")), QStringLiteral("\u20ac\u0081\u00e4"));
}

TEST(RtfTextTest, TemplateTextEndsEveryLineWithCrLf)
{
    EXPECT_EQ(TemplateText("a\nb\r\nc"), QStringLiteral("a\r\nb\r\nc\r\n"));
    EXPECT_EQ(TemplateText("a\r\n"), QStringLiteral("a\r\n"));
    EXPECT_EQ(TemplateText("\xEF\xBB\xBF\xE2\x82\xAC\n"), QStringLiteral("\u20ac\r\n"));
    EXPECT_EQ(TemplateText(QByteArray("\xFF\xFEx\0\n\0", 6)), QStringLiteral("x\r\n"));
    EXPECT_EQ(TemplateText("\x80"), QStringLiteral("\u20ac\r\n"));
}

TEST(RtfTextTest, OversizedTemplateIsRefusedBeforeReading)
{
    TTestDir dir;
    const QString sFile = dir.WriteText(QStringLiteral("huge.rtf"), QStringLiteral("{\\rtf1 x}"));
    // Sparse: the size is there without the bytes.
    ASSERT_TRUE(QFile::resize(sFile, ciMaxTemplateBytes + 1));
    EXPECT_EQ(RaisedText([&] { ReadTemplateFile(sFile, QStringLiteral("template file")); }),
              QStringLiteral("Can not read template file \"%1\": larger than 64 MiB").arg(sFile));
    ASSERT_TRUE(QFile::resize(sFile, ciMaxTemplateBytes));
    EXPECT_EQ(ReadTemplateFile(sFile, QStringLiteral("template file")).size(), ciMaxTemplateBytes);
}

class ErrorReportPrintTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fReport.SetPrinterNames([] { return QStringList{QStringLiteral("Labels")}; });
        TMsgClass::Instance().SetOnNewMsg([this](const void*, TMsgId, const QString& s) { fMessages << s; });
    }
    void TearDown() override
    {
        TVariableManager::InstanceRelease();
        TMsgClass::ReleaseSingleton();
    }

    void Configure(const QString& sTemplate, const QString& sOrientation = QStringLiteral("Portrait"))
    {
        const QString sFile = fDir.WriteText(QStringLiteral("report.rtf"), sTemplate);
        fReport.Init(
            QStringLiteral("ErrorReport; \"%1\"; Labels; %2; 10; 10; 10; 10").arg(sFile, sOrientation));
    }

    QString PrintToPdf()
    {
        const QString sPdf = fDir.FilePath(QStringLiteral("report.pdf"));
        TRichEditPaper paper;
        paper.SetOutputFileName(sPdf);
        fReport.PrintReport(paper);
        return sPdf;
    }

    TTestDir fDir;
    TErrorReport fReport;
    QStringList fMessages;
};

TEST_F(ErrorReportPrintTest, PrintsFieldsVariablesAndDatesAsWritten)
{
    Configure(QStringLiteral("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Sans;}}\\f0\\fs20\n"
                             "Info: %FILEINFO\\par\n"
                             "File: %FILENAME\\par\n"
                             "Version: %FILEVERSION\\par\n"
                             "Operator: %OPERATOR\\par\n"
                             "Function: %FUNCTION\\par\n"
                             "Error: %ERRORTEXT\\par\n"
                             "Remark: %REMARK\\par\n"
                             "Serial: %Serial\\par\n"
                             "Year: %YYYY\\par\n"
                             "}\n"));
    TVariableManager::Instance().SetValue(QStringLiteral("Serial"), QStringLiteral("SN-{42}\\7"));
    fReport.SetFileInfo(QStringLiteral("Board {A}"));
    fReport.SetFileName(QStringLiteral("C:\\tests\\board.TZD"));
    fReport.SetFileVersion(QStringLiteral("1.2"));
    fReport.SetOperatorName(QStringLiteral("J\u00f6rg \u03a9"));
    fReport.SetTestFunction(QStringLiteral("2.1. Measure"));
    fReport.SetErrorText(QStringLiteral("Expected \u2039\\0D\u203a, got {\\par}"));
    fReport.SetRemark(QStringLiteral("first line\nsecond line\r\nthird line"));

    const QStringList lines = ReadPdfLines(PrintToPdf());
    const QStringList expected = {
        QStringLiteral("Info: Board {A}"),
        QStringLiteral("File: C:\\tests\\board.TZD"),
        QStringLiteral("Version: 1.2"),
        QStringLiteral("Operator: J\u00f6rg \u03a9"),
        QStringLiteral("Function: 2.1. Measure"),
        QStringLiteral("Error: Expected \u2039\\0D\u203a, got {\\par}"),
        QStringLiteral("Remark: first line"),
        QStringLiteral("second line"),
        QStringLiteral("third line"),
        QStringLiteral("Serial: SN-{42}\\7"),
        QStringLiteral("Year: %1").arg(QDate::currentDate().year()),
    };
    EXPECT_EQ(lines, expected);
}

TEST_F(ErrorReportPrintTest, LongReportFillsPagesInItsOrientation)
{
    QString sTemplate = QStringLiteral("{\\rtf1\\ansi\\fs24 ");
    for (int i = 1; i <= 150; ++i)
        sTemplate += QStringLiteral("Line %1 of %FUNCTION\\par\n").arg(i);
    sTemplate += QLatin1Char('}');
    Configure(sTemplate, QStringLiteral(" LANDSCAPE "));
    fReport.SetTestFunction(QStringLiteral("Case"));

    const QString sPdf = PrintToPdf();
    const TPdfInfo info = ReadPdfInfo(sPdf);
    ASSERT_TRUE(info.bValid);
    EXPECT_GT(info.pageSize.width(), info.pageSize.height()) << "landscape";
    EXPECT_GE(info.iPages, 3);
    EXPECT_EQ(info.sTitle, QStringLiteral("TZK Error Report"));
    const QStringList lines = ReadPdfLines(sPdf);
    EXPECT_EQ(lines.first(), QStringLiteral("Line 1 of Case"));
    EXPECT_EQ(lines.last(), QStringLiteral("Line 150 of Case"));
    EXPECT_EQ(lines.size(), 150) << "no line lost or printed twice at a page break";
}

TEST_F(ErrorReportPrintTest, MalformedTemplatePrintsWhatCanBeReadWithAWarning)
{
    Configure(QStringLiteral("{\\rtf1\\ansi\\unknownword12 Failed: %FUNCTION\\par {\\b open group"));
    fReport.SetTestFunction(QStringLiteral("Case"));
    const QString sPdf = PrintToPdf();
    EXPECT_EQ(ReadPdfLines(sPdf),
              (QStringList{QStringLiteral("Failed: Case"), QStringLiteral("open group")}));
    ASSERT_EQ(fMessages.size(), 1);
    EXPECT_TRUE(
        fMessages[0].startsWith(QStringLiteral("Print job \"TZK Error Report\": RTF text ends inside")))
        << fMessages[0].toStdString();
}

TEST_F(ErrorReportPrintTest, UnreadableTemplateRaises)
{
    Configure(QStringLiteral("{\\rtf1 x}"));
    QFile::remove(fReport.TemplateFile());
    TRichEditPaper paper;
    paper.SetOutputFileName(fDir.FilePath(QStringLiteral("never.pdf")));
    const QString sError = RaisedText([&] { fReport.PrintReport(paper); });
    EXPECT_TRUE(sError.startsWith(QStringLiteral("Can not read error label template file")))
        << sError.toStdString();
    EXPECT_FALSE(QFile::exists(fDir.FilePath(QStringLiteral("never.pdf"))));
}

// Printing through the printing system: a private scheduler whose queues write into files.
class CupsPrintTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fCups.Running()) << fCups.Error().toStdString();
        ASSERT_TRUE(fCups.AddQueue(QStringLiteral("Label_Printer")));
    }
    void TearDown() override { TMsgClass::ReleaseSingleton(); }

    TCupsTestServer fCups;
    TTestDir fDir;
};

TEST_F(CupsPrintTest, SelectsPrinterWithoutRegardToCase)
{
    TRichEditPaper paper;
    EXPECT_TRUE(paper.SelectPrinter(QStringLiteral("label_PRINTER")));
    EXPECT_EQ(paper.PrinterName(), QStringLiteral("Label_Printer"));
    EXPECT_FALSE(paper.SelectPrinter(QStringLiteral("Other")));
    EXPECT_EQ(paper.PrinterName(), QStringLiteral("Label_Printer")) << "a failed selection changes nothing";
}

TEST_F(CupsPrintTest, ErrorReportPrintsOnItsPrinterUnderItsTitle)
{
    TErrorReport report;
    const QString sTemplate =
        fDir.WriteText(QStringLiteral("label.rtf"), QStringLiteral("{\\rtf1 Failed: %FUNCTION}"));
    report.Init(QStringLiteral("ErrorReport; \"%1\"; LABEL_printer; Landscape; 5; 5; 5; 5").arg(sTemplate));
    report.SetTestFunction(QStringLiteral("1. Power"));
    report.Print();

    const QString sOut = fCups.OutputFile(QStringLiteral("Label_Printer"));
    ASSERT_TRUE(fCups.WaitForCompletedJobs(QStringLiteral("Label_Printer"), 1));
    const TPdfInfo info = ReadPdfInfo(sOut);
    EXPECT_EQ(info.iPages, 1);
    // The queue's paper is portrait: the landscape page arrives turned onto it.
    const QRectF word = ReadPdfFirstWordBox(sOut);
    ASSERT_FALSE(word.isEmpty());
    EXPECT_GT(word.height(), word.width()) << "the text runs across the paper";
    EXPECT_EQ(ReadPdfLines(sOut).join(QLatin1Char(' ')), QStringLiteral("Failed: 1. Power"));
    EXPECT_EQ(fCups.JobTitles(QStringLiteral("Label_Printer")),
              QStringList{QStringLiteral("TZK Error Report")});
}

TEST_F(CupsPrintTest, ErrorReportOnRemovedPrinterRaises)
{
    TErrorReport report;
    const QString sTemplate = fDir.WriteText(QStringLiteral("label.rtf"), QStringLiteral("{\\rtf1 x}"));
    report.Init(QStringLiteral("ErrorReport; \"%1\"; Label_Printer; Portrait; 0; 0; 0; 0").arg(sTemplate));
    ASSERT_TRUE(fCups.Remove(QStringLiteral("Label_Printer")));
    const EMsg raised = RaisedMsg([&] { report.Print(); });
    EXPECT_EQ(raised.Id().Value, 0x0B210Au);
    EXPECT_EQ(raised.Text(), QStringLiteral("Printer \"Label_Printer\" not found!"));
}

TEST_F(CupsPrintTest, RefusedJobRaises)
{
    ASSERT_TRUE(fCups.Reject(QStringLiteral("Label_Printer")));
    TRichEditPaper paper;
    ASSERT_TRUE(paper.SelectPrinter(QStringLiteral("Label_Printer")));
    const QString sError =
        RaisedText([&] { paper.Print(QStringLiteral("Label"), QStringLiteral("{\\rtf1 x}")); });
    EXPECT_TRUE(
        sError.startsWith(QStringLiteral("Printer \"Label_Printer\" did not take the print job \"Label\"")))
        << sError.toStdString();
}

} // namespace
