#include "reporting/WinPrintersOnline.h"
#include "reporting/ErrorReport.h"

#include "CupsTestServer.h"
#include "TestEnvironment.h"

#include "core/MsgExceptions.h"

#include <cups/cups.h>

#include <gtest/gtest.h>

namespace {

TEST(WinPrintersOnline, ListsEnabledQueuesOnly)
{
    TCupsTestServer server;
    ASSERT_TRUE(server.Running()) << server.Error().toStdString();
    ASSERT_TRUE(server.AddQueue(QStringLiteral("Label_Printer")));
    ASSERT_TRUE(server.AddQueue(QStringLiteral("Offline_Printer")));
    ASSERT_TRUE(server.Disable(QStringLiteral("Offline_Printer")));

    TWinPrintersOnline printers;
    EXPECT_EQ(printers.Init(), 1);
    EXPECT_EQ(printers.IndexOf(QStringLiteral("label_printer")), 0);
    EXPECT_EQ(printers.IndexOf(QStringLiteral("Offline_Printer")), -1);
    EXPECT_TRUE(printers.LastError().isEmpty()) << printers.LastError().toStdString();

    const QStringList installed = TWinPrintersOnline::InstalledPrinters();
    EXPECT_TRUE(installed.contains(QStringLiteral("Offline_Printer")));
    EXPECT_TRUE(installed.contains(QStringLiteral("Label_Printer")));

    ASSERT_TRUE(server.Remove(QStringLiteral("Label_Printer")));
    EXPECT_EQ(printers.Init(), 0);
    EXPECT_EQ(printers.IndexOf(QStringLiteral("Label_Printer")), -1);
}

TEST(WinPrintersOnline, ErrorReportChecksItsPrinterWithThePrintingSystem)
{
    TCupsTestServer server;
    ASSERT_TRUE(server.Running()) << server.Error().toStdString();
    ASSERT_TRUE(server.AddQueue(QStringLiteral("Report_Printer")));
    TTestDir dir;
    const QString sTemplate =
        dir.WriteText(QStringLiteral("report.rtf"), QStringLiteral("{\\rtf1 %FUNCTION}"));
    const QString sLine = QStringLiteral("ErrorReport; \"%1\"; \"%2\"; Portrait; 5; 5; 5; 5");

    TErrorReport report;
    report.Init(sLine.arg(sTemplate, QStringLiteral("report_printer")));
    EXPECT_TRUE(report.Initialized());

    ASSERT_TRUE(server.Remove(QStringLiteral("Report_Printer")));
    try {
        report.Init(sLine.arg(sTemplate, QStringLiteral("Report_Printer")));
        FAIL() << "no error";
    } catch (const EMsg& e) {
        EXPECT_EQ(e.Id().Value, 0x0B1114u);
        EXPECT_EQ(e.Text(), QStringLiteral("Printer \"Report_Printer\" not found!"));
    }
    EXPECT_FALSE(report.Initialized());
}

TEST(WinPrintersOnline, ReportsAnUnreachableServer)
{
    qputenv("CUPS_SERVER", "/nonexistent/cups.sock");
    cupsSetServer("/nonexistent/cups.sock");
    TWinPrintersOnline printers;
    EXPECT_EQ(printers.Init(), 0);
    EXPECT_FALSE(printers.LastError().isEmpty());
    cupsSetServer(nullptr);
    qunsetenv("CUPS_SERVER");
}

} // namespace
