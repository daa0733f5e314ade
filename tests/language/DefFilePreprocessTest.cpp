#include "TestEnvironment.h"

#include "language/DefFilePreprocess.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTextStream>

namespace {

TEST(DefFilePreprocessTest, ListsLinesWithTheirLocation)
{
    TTestDir dir;
    const QString sMain =
        dir.Write(QStringLiteral("main.TZD"), "// demo\n\nSys.Delay(\"x\";5)\n#include \"i.txt\"\n");
    dir.Write(QStringLiteral("i.txt"), "Inc // c\n");
    QString sOut;
    QString sErr;
    QTextStream out(&sOut);
    QTextStream err(&sErr);
    EXPECT_EQ(PreprocessFile(sMain, out, err), ciExitOk);
    EXPECT_EQ(sOut, QStringLiteral("%1, 3: Sys.Delay(\"x\";5)\n%2, 1: Inc\n")
                        .arg(sMain, dir.FilePath(QStringLiteral("i.txt"))));
    EXPECT_TRUE(sErr.isEmpty());
}

TEST(DefFilePreprocessTest, RelativeNamesAreMadeAbsolute)
{
    TTestDir dir;
    dir.Write(QStringLiteral("sub/main.TZD"), "#include \"i.txt\"\n");
    dir.Write(QStringLiteral("sub/i.txt"), "Inc\n");
    const QString sOldDir = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.Path()));
    QString sOut;
    QString sErr;
    QTextStream out(&sOut);
    QTextStream err(&sErr);
    const int iStatus = PreprocessFile(QStringLiteral("sub/main.TZD"), out, err);
    QDir::setCurrent(sOldDir);
    EXPECT_EQ(iStatus, ciExitOk) << sErr.toStdString();
    EXPECT_EQ(
        sOut,
        QStringLiteral("%1, 1: Inc\n").arg(QDir(dir.Path()).absoluteFilePath(QStringLiteral("sub/i.txt"))));
}

TEST(DefFilePreprocessTest, LoadErrorGoesToTheErrorStream)
{
    TTestDir dir;
    const QString sMain = dir.Write(QStringLiteral("main.TZD"), "A\n#include \"none.txt\"\n");
    QString sOut;
    QString sErr;
    QTextStream out(&sOut);
    QTextStream err(&sErr);
    EXPECT_EQ(PreprocessFile(sMain, out, err), ciExitLoadError);
    EXPECT_TRUE(sOut.isEmpty());
    EXPECT_EQ(sErr, QStringLiteral("Unknown include file \"%1\" defined in \"%2\"!\r\nID: 030214:%3\n")
                        .arg(dir.FilePath(QStringLiteral("none.txt")), sMain)
                        .arg(sMain.size()));
}

} // namespace
