#include "TestEnvironment.h"

#include "core/MsgExceptions.h"
#include "language/DefFileInterpreterBase.h"
#include "language/DefFilePreprocess.h"

#include <gtest/gtest.h>

#include <QFileInfo>

#include <functional>
#include <map>

namespace {

QByteArray Scrambled(QByteArray aBytes)
{
    for (char& c : aBytes)
        c = char(c ^ 0x3D);
    return aBytes;
}

// The error a call raises; fails the test when it raises none.
EMsg ErrorOf(const std::function<void()>& aCall)
{
    try {
        aCall();
    } catch (const EMsg& e) {
        return e;
    }
    ADD_FAILURE() << "no EMsg raised";
    return EMsg(TMsgId(0), 0);
}

class DefFileReaderTest : public ::testing::Test
{
protected:
    // The lines the keyword pass sees, with the test folder left out of the file names.
    QStringList Listing()
    {
        QStringList slListing = PreprocessListing(fReader);
        for (QString& sLine : slListing)
            sLine.remove(fDir.Path() + QLatin1Char('/'));
        return slListing;
    }
    QString Write(const QString& sName, const QByteArray& aContent) { return fDir.Write(sName, aContent); }

    TTestDir fDir;
    TInterpreterReader fReader;
};

TEST_F(DefFileReaderTest, LinesKeepTheirNumbersAcrossCommentsBlanksAndIncludes)
{
    const QString sMain = Write(QStringLiteral("main.TZD"), "\r\n"
                                                            "// header\r\n"
                                                            "/* block\r\n"
                                                            "   still comment */\r\n"
                                                            "  First  \r\n"
                                                            "\r\n"
                                                            "Sixth // trailing\r\n"
                                                            "\r\n"
                                                            "\r\n"
                                                            "#include \"inc.txt\"\r\n"
                                                            "\r\n"
                                                            "Twelve\r\n");
    Write(QStringLiteral("inc.txt"), "// included\nIncA\n\n\tIncB\n");
    fReader.FileLoad(sMain);

    EXPECT_EQ(Listing(),
              QStringList({QStringLiteral("main.TZD, 5: First"), QStringLiteral("main.TZD, 7: Sixth"),
                           QStringLiteral("inc.txt, 2: IncA"), QStringLiteral("inc.txt, 4: IncB"),
                           QStringLiteral("main.TZD, 12: Twelve")}));
    // Segments: main up to the include line, the include, the rest of main.
    ASSERT_EQ(fReader.FileList().size(), 3u);
    EXPECT_EQ(fReader.FileList()[0].pObject->LineOffset(), 4);
    EXPECT_EQ(fReader.FileList()[1].pObject->LineOffset(), 1);
    EXPECT_EQ(fReader.FileList()[2].pObject->LineOffset(), 11);
    EXPECT_EQ(fReader.FileList()[1].sName, fDir.FilePath(QStringLiteral("inc.txt")));
}

TEST_F(DefFileReaderTest, LineIterationCoversAllSegmentsAndStaysAtTheEnd)
{
    Write(QStringLiteral("i.txt"), "x\n");
    fReader.LoadFromList(fDir.FilePath(QStringLiteral("m.TZD")),
                         {QStringLiteral("a"), QStringLiteral("#include \"i.txt\""), QStringLiteral("b")});
    const auto Location = [this] { return fReader.CurrentLocation().remove(fDir.Path() + QLatin1Char('/')); };
    QStringList slRead;
    QStringList slWhere;
    while (!fReader.EndOfFile()) {
        slRead << fReader.GetNextLine();
        slWhere << Location();
    }
    // The include line reads as an empty line.
    EXPECT_EQ(slRead,
              QStringList({QStringLiteral("a"), QString(), QStringLiteral("x"), QStringLiteral("b")}));
    EXPECT_EQ(slWhere, QStringList({QStringLiteral("m.TZD, 1"), QStringLiteral("m.TZD, 2"),
                                    QStringLiteral("i.txt, 1"), QStringLiteral("m.TZD, 3")}));
    // Past the end: nothing more, and the location still names the last line.
    EXPECT_EQ(fReader.GetNextLine(), QString());
    EXPECT_EQ(Location(), QStringLiteral("m.TZD, 3"));
    // A new pass starts at the first line again.
    fReader.Rewind();
    EXPECT_FALSE(fReader.EndOfFile());
    EXPECT_EQ(fReader.GetNextLine(), QStringLiteral("a"));

    TInterpreterBase empty;
    EXPECT_TRUE(empty.EndOfFile());
    EXPECT_EQ(empty.GetNextLine(), QString());
}

TEST(DefFileCommentsTest, RemoveCommentsKeepsLineNumbers)
{
    struct TCase
    {
        const char* sName;
        QStringList slIn;
        QStringList slOut;
    };
    const TCase cases[] = {
        {"block over lines", {"A /*x", "inside", "y*/ B"}, {"A", "", "B"}},
        {"line comment inside quotes", {"Dialog.Show(\"see http://host/x\")"}, {"Dialog.Show(\"see http:"}},
        {"closer after a line comment does not end the block", {"c /* a // b */", "d*/e"}, {"c", "e"}},
        {"line comment hides a block opener", {"a // b /* c", "d"}, {"a", "d"}},
        {"two blocks in one line", {"/* one */ x /* two */ end"}, {"x  end"}},
        {"closer at the end of a line", {"a /* b */", "c"}, {"a", "c"}},
        {"closer at the end of the last line", {"a /* b", "c */"}, {"a", ""}},
        {"line break inside a given line", {"a // b\nc"}, {"a", "c"}},
        {"stray closer is removed", {"a*/b"}, {"ab"}},
        {"trimming", {" \t x y \t", "\t"}, {"x y", ""}},
        {"comment opener as the whole first line", {"/*", "*/x", "//"}, {"", "x", ""}},
        {"slashes at the ends of lines", {"a/", "/b", "*", "/c"}, {"a/", "/b", "*", "/c"}},
        {"empty", {}, {}},
    };
    // The lines a file was read into are filtered in their own storage: both forms agree.
    for (const TCase& test : cases) {
        int iOpen = 7;
        EXPECT_EQ(TInterpreterBase::RemoveComments(test.slIn, &iOpen), test.slOut) << test.sName;
        EXPECT_EQ(iOpen, -1) << test.sName;
        iOpen = 7;
        EXPECT_EQ(TInterpreterBase::RemoveComments(QStringList(test.slIn), &iOpen), test.slOut) << test.sName;
        EXPECT_EQ(iOpen, -1) << test.sName;
    }

    const QStringList slOpen{"a", "b /* open // x", "c", "d /* again"};
    int iOpen = -1;
    EXPECT_EQ(TInterpreterBase::RemoveComments(slOpen, &iOpen), QStringList({"a", "b", "", ""}));
    EXPECT_EQ(iOpen, 1);
    iOpen = -1;
    EXPECT_EQ(TInterpreterBase::RemoveComments(QStringList(slOpen), &iOpen), QStringList({"a", "b", "", ""}));
    EXPECT_EQ(iOpen, 1);
}

TEST_F(DefFileReaderTest, UnterminatedBlockCommentIsAnError)
{
    const QString sMain = Write(QStringLiteral("main.TZD"), "Test.Case(\"a\")\n/* off\nDev.Cmd(\"x\")\n");
    const EMsg e = ErrorOf([&] { fReader.FileLoad(sMain); });
    EXPECT_EQ(e.Id(), TMsgId(0x03070A));
    EXPECT_EQ(e.Text(), QStringLiteral("Unterminated block comment in \"%1\" from line 2!").arg(sMain));
}

TEST_F(DefFileReaderTest, IncludeNamesAreRelativeToTheMainFile)
{
    const QString sMain = Write(QStringLiteral("main.TZD"), "#INCLUDE \"sub\\inc.txt\"\n"
                                                            "#include\n"
                                                            "#includeX \"sub/inc.txt\"\n"
                                                            "#include \"\n");
    // Nested include names are relative to the main file too, not to the including file.
    Write(QStringLiteral("sub/inc.txt"), "InSub\n#include \"sub/deeper.txt\"\n");
    Write(QStringLiteral("sub/deeper.txt"), "Deeper\n");
    fReader.FileLoad(sMain);
    EXPECT_EQ(Listing(), QStringList({QStringLiteral("sub/inc.txt, 1: InSub"),
                                      QStringLiteral("sub/deeper.txt, 1: Deeper"),
                                      QStringLiteral("main.TZD, 2: #include"),
                                      QStringLiteral("main.TZD, 3: #includeX \"sub/inc.txt\""),
                                      QStringLiteral("main.TZD, 4: #include \"")}));

    TInterpreterBase base;
    EXPECT_EQ(base.GetIncludeFileName(QStringLiteral("#include \"a\\b.txt\" rest")),
              QStringLiteral("a\\b.txt"));
    EXPECT_EQ(base.GetIncludeFileName(QStringLiteral("#include a.txt")), QString());
}

TEST_F(DefFileReaderTest, MissingFilesAndFolders)
{
    const QString sMissing = fDir.FilePath(QStringLiteral("none.TZD"));
    EMsg e = ErrorOf([&] { fReader.FileLoad(sMissing); });
    EXPECT_EQ(e.Message(), QStringLiteral("030400:%1").arg(sMissing.size()));

    Write(QStringLiteral("folder/x.txt"), "x");
    e = ErrorOf([&] { fReader.FileLoad(fDir.FilePath(QStringLiteral("folder"))); });
    EXPECT_EQ(e.Id(), TMsgId(0x030400));

    struct TCase
    {
        const char* sInclude;
        const char* sResolved;
    };
    const TCase cases[] = {
        {"nothere.txt", "nothere.txt"},
        {"folder", "folder"},
        {"C:\\x\\a.txt", "C:\\x\\a.txt"},
        {"/abs/a.txt", "/abs/a.txt"},
    };
    for (const TCase& test : cases) {
        const QString sMain = Write(QStringLiteral("main.TZD"),
                                    QByteArray("Kept\n#include \"") + test.sInclude + "\"\nNotReached\n");
        e = ErrorOf([&] { fReader.FileLoad(sMain); });
        EXPECT_EQ(e.Id(), TMsgId(0x030214)) << test.sInclude;
        EXPECT_EQ(e.Value(), sMain.size());
        EXPECT_EQ(e.Text(), QStringLiteral("Unknown include file \"%1/%2\" defined in \"%3\"!")
                                .arg(fDir.Path(), QString::fromUtf8(test.sResolved), sMain));
        // What was read before the error stays.
        EXPECT_EQ(Listing(), QStringList({QStringLiteral("main.TZD, 1: Kept")})) << test.sInclude;
    }
}

TEST_F(DefFileReaderTest, IncludeNestingIsLimited)
{
    // A chain of 20 files (19 nested includes) loads; one more file is too deep.
    for (int i = 0; i < 21; ++i)
        Write(QStringLiteral("f%1.txt").arg(i),
              QStringLiteral("L%1\n#include \"f%2.txt\"\n").arg(i).arg(i + 1).toUtf8());
    Write(QStringLiteral("f19.txt"), "L19\n");
    fReader.FileLoad(fDir.FilePath(QStringLiteral("f0.txt")));
    EXPECT_EQ(Listing().size(), 20);
    EXPECT_EQ(Listing().last(), QStringLiteral("f19.txt, 1: L19"));

    Write(QStringLiteral("f19.txt"), "L19\n#include \"f20.txt\"\n");
    Write(QStringLiteral("f20.txt"), "L20\n");
    EMsg e = ErrorOf([&] { fReader.FileLoad(fDir.FilePath(QStringLiteral("f0.txt"))); });
    EXPECT_EQ(e.Message(), QStringLiteral("To much include file recursions!\r\nID: 03020A:21"));

    // A cycle ends the same way, and a later load starts afresh.
    const QString sMain = Write(QStringLiteral("main.TZD"), "Main\n#include \"inc.txt\"\n");
    Write(QStringLiteral("inc.txt"), "Inc\n#include \"main.TZD\"\n");
    e = ErrorOf([&] { fReader.FileLoad(sMain); });
    EXPECT_EQ(e.Id(), TMsgId(0x03020A));
    EXPECT_EQ(e.Value(), 21);

    Write(QStringLiteral("inc.txt"), "Inc\n");
    fReader.FileLoad(sMain);
    EXPECT_EQ(Listing(),
              QStringList({QStringLiteral("main.TZD, 1: Main"), QStringLiteral("inc.txt, 1: Inc")}));
}

TEST_F(DefFileReaderTest, IncludeLinesAreLimitedPerLoad)
{
    const QByteArray aEmptyInclude = "#include \"empty.txt\"\n";
    Write(QStringLiteral("empty.txt"), "");
    const QString sMax =
        Write(QStringLiteral("max.TZD"), aEmptyInclude.repeated(TInterpreterBase::ciMaxIncludes));
    fReader.FileLoad(sMax);
    EXPECT_EQ(fReader.FileList().size(), std::size_t(TInterpreterBase::ciMaxIncludes));

    const QString sOver =
        Write(QStringLiteral("over.TZD"), aEmptyInclude.repeated(TInterpreterBase::ciMaxIncludes + 1));
    EMsg e = ErrorOf([&] { fReader.FileLoad(sOver); });
    EXPECT_EQ(e.Message(),
              QStringLiteral("Too many includes: line 10001 of \"%1\" exceeds the limit of 10000 "
                             "includes in one load!\r\nID: 030228:10001")
                  .arg(sOver));

    // Fan-out: 2,000 includes of a file that includes an empty file 2,000 times. The 10,001st
    // include is line 1,996 of mid.txt in the fifth round.
    Write(QStringLiteral("mid.txt"), aEmptyInclude.repeated(2000));
    const QString sFan =
        Write(QStringLiteral("fan.TZD"), QByteArray("#include \"mid.txt\"\n").repeated(2000));
    e = ErrorOf([&] { fReader.FileLoad(sFan); });
    EXPECT_EQ(e.Id(), TMsgId(0x030228));
    EXPECT_TRUE(e.Text().startsWith(QStringLiteral("Too many includes: line 1996 of \"%1\"")
                                        .arg(fDir.FilePath(QStringLiteral("mid.txt")))))
        << e.Text().toStdString();
}

// A reader that counts how often it reads each file.
class TCountingReader : public TInterpreterReader
{
public:
    bool LoadFileToList(const QString& sFileName, QStringList& aList) override
    {
        ++fReads[QFileInfo(sFileName).fileName()];
        return TInterpreterReader::LoadFileToList(sFileName, aList);
    }
    std::map<QString, int> fReads;
};

TEST_F(DefFileReaderTest, AFileIncludedAgainIsReadOnce)
{
    Write(QStringLiteral("inc.txt"), "\n/* two */ A\nB // b\n");
    const QString sMain = Write(QStringLiteral("main.TZD"), "#include \"inc.txt\"\nx\n#include \"inc.txt\"\n"
                                                            "#include \"inc.txt\"\n");
    TCountingReader reader;
    reader.FileLoad(sMain);
    EXPECT_EQ(reader.fReads,
              (std::map<QString, int>{{QStringLiteral("inc.txt"), 1}, {QStringLiteral("main.TZD"), 1}}));
    QStringList slListing = PreprocessListing(reader);
    for (QString& sLine : slListing)
        sLine.remove(fDir.Path() + QLatin1Char('/'));
    EXPECT_EQ(slListing, (QStringList{QStringLiteral("inc.txt, 2: A"), QStringLiteral("inc.txt, 3: B"),
                                      QStringLiteral("main.TZD, 2: x"), QStringLiteral("inc.txt, 2: A"),
                                      QStringLiteral("inc.txt, 3: B"), QStringLiteral("inc.txt, 2: A"),
                                      QStringLiteral("inc.txt, 3: B")}));
    // The next load reads the files afresh.
    Write(QStringLiteral("inc.txt"), "C\n");
    reader.FileLoad(sMain);
    EXPECT_EQ(reader.fReads[QStringLiteral("inc.txt")], 2);
    EXPECT_EQ(PreprocessListing(reader).size(), 4);
}

TEST_F(DefFileReaderTest, CodedFiles)
{
    Write(QStringLiteral("plain.txt"), "Plain\n");
    const QString sCoded =
        Write(QStringLiteral("main."),
              Scrambled("// coded\r\nSecret /* c */\r\n#include \"plain.txt\"\r\nAfter\r\nTezkamander2\r\n"));
    fReader.FileLoad(sCoded);
    EXPECT_EQ(Listing(),
              QStringList({QStringLiteral("main., 2: Secret"), QStringLiteral("plain.txt, 1: Plain"),
                           QStringLiteral("main., 4: After")}));

    // The extension decides, without regard to case; other files are plain text.
    fReader.SetCodeFileExtension(QStringLiteral("tzc"));
    fReader.FileLoad(Write(QStringLiteral("x.TZC"), Scrambled("Coded\nTezkamander2")));
    EXPECT_EQ(Listing(), QStringList({QStringLiteral("x.TZC, 1: Coded")}));
    fReader.FileLoad(Write(QStringLiteral("y.tzd"), "Open\nTezkamander2\n"));
    EXPECT_EQ(Listing(),
              QStringList({QStringLiteral("y.tzd, 1: Open"), QStringLiteral("y.tzd, 2: Tezkamander2")}));

    const QByteArray badIds[] = {
        "Coded\ntezkamander2\n",   // case only
        "Coded\nTezkamander2\n\n", // not the last line
        "Coded\nTezkamander2 \n",
        "",
    };
    for (const QByteArray& aContent : badIds) {
        const QString sFile = Write(QStringLiteral("bad.tzc"), Scrambled(aContent));
        const EMsg e = ErrorOf([&] { fReader.FileLoad(sFile); });
        EXPECT_EQ(e.Message(), QStringLiteral("Invalid file identification!\r\nID: 030300:0"))
            << aContent.data();
        EXPECT_TRUE(fReader.FileList().empty());
    }
    // A plain file given the coded extension fails the identification too.
    const QString sPlain = Write(QStringLiteral("plain.tzc"), "Coded\nTezkamander2\n");
    EXPECT_EQ(ErrorOf([&] { fReader.FileLoad(sPlain); }).Id(), TMsgId(0x030300));
}

TEST_F(DefFileReaderTest, EncodingsAndLineEnds)
{
    struct TCase
    {
        const char* sName;
        QByteArray aBytes;
        QStringList slLines;
    };
    const QString sUmlaut = QStringLiteral("\u00C4\u20AC");
    const TCase cases[] = {
        {"UTF-8 with BOM", QByteArray("\xEF\xBB\xBF") + sUmlaut.toUtf8() + "\r\nB", {sUmlaut, "B"}},
        {"UTF-8 without BOM", sUmlaut.toUtf8() + "\nB\n", {sUmlaut, "B"}},
        {"UTF-16LE",
         QByteArray("\xFF\xFE", 2) + QByteArray("\xC4\x00\xAC\x20\r\x00\n\x00"
                                                "B\x00",
                                                10),
         {sUmlaut, "B"}},
        {"UTF-16BE",
         QByteArray("\xFE\xFF", 2) + QByteArray("\x00\xC4\x20\xAC\x00\r\x00\n\x00"
                                                "B",
                                                10),
         {sUmlaut, "B"}},
        {"Latin-1", QByteArray("\xC4ra\r\nB"), {QStringLiteral("\u00C4ra"), "B"}},
        // Written by a Windows editor: its typographic characters sit in 80-9F.
        {"Windows-1252",
         QByteArray("Pr\xFC"
                    "fung \x84Netz\x93 \x96 5 \x80"),
         {QStringLiteral("Pr\u00FCfung \u201ENetz\u201C \u2013 5 \u20AC")}},
        {"CR only", QByteArray("a\rb\r\rc"), {"a", "b", "", "c"}},
        {"mixed ends", QByteArray("a\r\nb\nc\rd\n"), {"a", "b", "c", "d"}},
        {"break at the end", QByteArray("a\n\n"), {"a", ""}},
    };
    for (const TCase& test : cases) {
        QStringList slLines;
        ASSERT_TRUE(fReader.LoadFileToList(Write(QStringLiteral("enc.txt"), test.aBytes), slLines));
        EXPECT_EQ(slLines, test.slLines) << test.sName;
    }

    // Decoded before the comment filter: line numbers of a UTF-16 file count its own lines.
    QByteArray aUtf16("\xFF\xFE", 2);
    const QString sText = QStringLiteral("// \u00C4\r\n\r\nX(\"\u20AC\")\r\n");
    aUtf16.append(reinterpret_cast<const char*>(sText.utf16()), sText.size() * 2);
    fReader.FileLoad(Write(QStringLiteral("u16.TZD"), aUtf16));
    EXPECT_EQ(Listing(), QStringList({QStringLiteral("u16.TZD, 3: X(\"\u20AC\")")}));
}

TEST_F(DefFileReaderTest, BadInputEndsInAClearError)
{
    // Binary data with NUL bytes is no definition.
    QByteArray aBinary("Line\n\x7F"
                       "ELF\x02\x01\x01\x00\x00\x00",
                       14);
    EMsg e = ErrorOf([&] { fReader.FileLoad(Write(QStringLiteral("bin.TZD"), aBinary)); });
    EXPECT_EQ(e.Id(), TMsgId(0x03051E));
    EXPECT_TRUE(e.Text().contains(QStringLiteral("is not a text file: NUL character in line 2!")));

    // Other bytes read as Latin-1 text.
    QByteArray aNoise;
    for (int i = 0; i < 4096; ++i)
        aNoise.append(char(1 + (i * 37) % 255));
    fReader.FileLoad(Write(QStringLiteral("noise.TZD"), aNoise));
    EXPECT_FALSE(Listing().isEmpty());

    // A file beyond the load limit is refused before it is read.
    QByteArray aHuge(int(TInterpreterBase::ciMaxLoadBytes + 1), 'a');
    for (qsizetype i = 80; i < aHuge.size(); i += 80)
        aHuge[i] = '\n';
    const QString sHuge = Write(QStringLiteral("huge.TZD"), aHuge);
    aHuge.clear();
    e = ErrorOf([&] { fReader.FileLoad(sHuge); });
    EXPECT_EQ(e.Id(), TMsgId(0x030514));
    EXPECT_EQ(e.Text(), QStringLiteral("Definition too large: reading \"%1\" exceeds the limit of %2 bytes!")
                            .arg(sHuge)
                            .arg(TInterpreterBase::ciMaxLoadBytes));

    // The limit holds for all files of one load together.
    const QByteArray aHalf(int(TInterpreterBase::ciMaxLoadBytes / 2 + 1), 'b');
    Write(QStringLiteral("half.txt"), aHalf);
    const QString sTwice =
        Write(QStringLiteral("twice.TZD"), "#include \"half.txt\"\n#include \"half.txt\"\n");
    EXPECT_EQ(ErrorOf([&] { fReader.FileLoad(sTwice); }).Id(), TMsgId(0x030514));
    // A new load has its own budget.
    const QString sOnce = Write(QStringLiteral("once.TZD"), "#include \"half.txt\"\n");
    fReader.FileLoad(sOnce);
    EXPECT_EQ(fReader.FileList().size(), 2u);
}

TEST_F(DefFileReaderTest, LongLinesAndManyLinesLoad)
{
    // A line of 1 MB with comments in it, and 100000 short lines with block comments: the filter
    // must stay linear for this to finish at once.
    QByteArray aLong = "Long(\"" + QByteArray(1024 * 1024, 'x') + "\") /* c */ // tail\nEnd\n";
    QByteArray aMany;
    for (int i = 0; i < 100000; ++i)
        aMany += "L /* c */ x // y\n";
    fReader.FileLoad(Write(QStringLiteral("long.TZD"), aLong));
    const QStringList slLong = Listing();
    ASSERT_EQ(slLong.size(), 2);
    EXPECT_EQ(slLong.first().size(), QStringLiteral("long.TZD, 1: Long(\"\")").size() + 1024 * 1024);
    EXPECT_TRUE(slLong.first().endsWith(QStringLiteral("x\")")));
    EXPECT_EQ(slLong.last(), QStringLiteral("long.TZD, 2: End"));

    fReader.FileLoad(Write(QStringLiteral("many.TZD"), aMany));
    const QStringList slMany = Listing();
    ASSERT_EQ(slMany.size(), 100000);
    EXPECT_EQ(slMany.last(), QStringLiteral("many.TZD, 100000: L  x"));
}

// A reader whose file system claims every file exists.
class TEverythingAvailable : public TInterpreterReader
{
public:
    bool FileAvailable(const QString&) const override { return true; }
};

TEST_F(DefFileReaderTest, UnreadableFileNamesTheReason)
{
    TEverythingAvailable reader;
    const QString sFile = fDir.FilePath(QStringLiteral("gone.TZD"));
    const EMsg e = ErrorOf([&] { reader.FileLoad(sFile); });
    EXPECT_EQ(e.Id(), TMsgId(0x03050A));
    EXPECT_TRUE(e.Text().startsWith(QStringLiteral("Cannot read file \"%1\": ").arg(sFile)))
        << e.Message().toStdString();
}

TEST_F(DefFileReaderTest, ReplaceCurrentLineRewritesTheStore)
{
    fReader.LoadFromList(QStringLiteral("m.TZD"), {QStringLiteral("a"), QStringLiteral("b")});
    TData* pData = fReader.CurrentData();
    ASSERT_NE(pData, nullptr);
    const EMsg e = ErrorOf([&] { pData->ReplaceCurrentLine(QString()); });
    EXPECT_EQ(e.Id(), TMsgId(0x030602));
    EXPECT_EQ(e.Value(), 0);

    EXPECT_EQ(fReader.GetNextLine(), QStringLiteral("a"));
    fReader.CurrentData()->ReplaceCurrentLine(QString());
    EXPECT_EQ(fReader.GetNextLine(), QStringLiteral("b"));
    fReader.CurrentData()->ReplaceCurrentLine(QStringLiteral("B2"));
    EXPECT_EQ(PreprocessListing(fReader), QStringList({QStringLiteral("m.TZD, 2: B2")}));

    // The line count added to the identifier stops at 255.
    TData big;
    big.SetText(QString(300, QLatin1Char('\n')));
    EXPECT_EQ(big.Count(), 300);
    EXPECT_EQ(ErrorOf([&] { big.ReplaceCurrentLine(QStringLiteral("x")); }).Id(), TMsgId(0x0306FF));
}

TEST_F(DefFileReaderTest, LoadInformationNamesTheLocation)
{
    fReader.LoadFromList(QStringLiteral("/d/m.TZD"), {QString(), QString(), QStringLiteral("x")});
    EXPECT_EQ(fReader.GetNextLine(), QStringLiteral("x"));
    fReader.AddLoadInfo(QStringLiteral("Error: "), QStringLiteral("bad"));
    fReader.AddLoadInfo(QString(), QStringLiteral("note"));
    EXPECT_EQ(fReader.LastErrors(), QStringLiteral("\r\nError: /d/m.TZD, 3: bad\r\n/d/m.TZD, 3: note"));
}

TEST(DefFileInterpreterBaseTest, ParseDefine)
{
    struct TCase
    {
        const char* sLine;
        bool bValid;
        const char* sName;
        const char* sValue;
    };
    const TCase cases[] = {
        {"#define NAME 5", true, "NAME", "5"}, {"#define  X \t a + 1 ", true, "X", "a + 1"},
        {"#define DEBUG", true, "DEBUG", ""},  {"#define\tTAB 1", true, "TAB", "1"},
        {"#define A A", false, "A", "A"},      {"#define A a", true, "A", "a"},
        {"#define ", false, "", ""},
    };
    TInterpreterBase reader;
    for (const TCase& test : cases) {
        QString sName;
        QString sValue;
        EXPECT_EQ(reader.ParseDefine(QString::fromUtf8(test.sLine), sName, sValue), test.bValid)
            << test.sLine;
        EXPECT_EQ(sName, QString::fromUtf8(test.sName)) << test.sLine;
        EXPECT_EQ(sValue, QString::fromUtf8(test.sValue)) << test.sLine;
    }
}

TEST(DefFileInterpreterBaseTest, DataTextAndSaveAs)
{
    TData data;
    data.SetText(QStringLiteral("a\nb\r\nc"));
    EXPECT_EQ(data.Lines(), QStringList({"a", "b", "c"}));
    EXPECT_EQ(data.Text(), QStringLiteral("a\r\nb\r\nc"));

    TInterpreterBase reader;
    EXPECT_EQ(ErrorOf([&] { reader.FileSaveAs(QStringLiteral("x.TZD")); }).Message(),
              QStringLiteral("04010A:0"));
}

} // namespace
