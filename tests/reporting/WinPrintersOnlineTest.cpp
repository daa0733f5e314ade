#include "reporting/WinPrintersOnline.h"
#include "reporting/ErrorReport.h"

#include "CupsTestServer.h"

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
