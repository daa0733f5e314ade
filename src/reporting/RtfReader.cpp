#include "RtfReader.h"

#include "RtfText.h"

#include <QColor>
#include <QMap>
#include <QTextDocument>
#include <QVector>

#include <cctype>

#include <vector>

namespace {

// Character and paragraph state of one group.
struct TGroupState
{
    bool bBold = false;
    bool bItalic = false;
    bool bUnderline = false;
    int iFont = -1;
    int iHalfPoints = 24;
    int iColour = 0;
    int iAlign = 0; // 0 left, 1 centre, 2 right, 3 justified
    int iLeftIndent = 0;
    int iRightIndent = 0;
    int iFirstIndent = 0;
    bool bInTable = false;
    int iUnicodeSkip = 1;
    bool bSkip = false; // inside a destination that is not text
    int iDestination = 0;
};

enum EDestination
{
    edText = 0,
    edFontTable,
    edColourTable,
    edSkip
};

QString Escaped(const QString& s)
{
    return s.toHtmlEscaped();
}

// Font names are a few dozen characters at most; anything longer is no name.
constexpr qsizetype ciMaxFontName = 128;

class TParser
{
public:
    TParser(const QByteArray& aRtf, QStringList& aWarnings) : fRtf(aRtf), fWarnings(aWarnings) {}

    QString Run()
    {
        fStack.push_back(TGroupState());
        while (fiPos < fRtf.size()) {
            const char c = fRtf.at(fiPos);
            if (c == '{') {
                ++fiPos;
                FlushText();
                fStack.push_back(fStack.back());
            } else if (c == '}') {
                ++fiPos;
                FlushText();
                EndGroup();
            } else if (c == '\\') {
                ControlWord();
            } else if (c == '\r' || c == '\n') {
                ++fiPos;
            } else {
                ++fiPos;
                AddChar(AnsiChar(static_cast<unsigned char>(c)));
            }
        }
        FlushText();
        if (fStack.size() > 1)
            fWarnings.append(QStringLiteral("RTF text ends inside %1 open group(s)").arg(fStack.size() - 1));
        EndParagraph(false);
        CloseTable();
        return fsHtml;
    }

private:
    TGroupState& State() { return fStack.back(); }

    void EndGroup()
    {
        const TGroupState closing = fStack.back();
        if (fStack.size() > 1)
            fStack.pop_back();
        else
            fWarnings.append(QStringLiteral("Unbalanced closing brace in RTF text"));
        if (closing.iDestination == edFontTable && !fsFontName.isEmpty()) {
            StoreFont();
        }
    }

    void StoreFont()
    {
        QString sName = fsFontName.trimmed();
        if (sName.endsWith(QLatin1Char(';')))
            sName.chop(1);
        if (fiFontNumber >= 0)
            fFonts[fiFontNumber] = sName;
        fsFontName.clear();
    }

    void AddChar(QChar c)
    {
        TGroupState& state = State();
        if (fiSkipChars > 0) {
            --fiSkipChars;
            return;
        }
        if (state.iDestination == edFontTable) {
            // Every run of text repeats its font's name, so an overlong one would make the
            // document grow with the square of the input.
            if (fsFontName.size() < ciMaxFontName)
                fsFontName += c;
            if (c == QLatin1Char(';'))
                StoreFont();
            return;
        }
        if (state.iDestination == edColourTable) {
            if (c == QLatin1Char(';')) {
                fColours.append(fbColourSet ? QColor(fiRed, fiGreen, fiBlue) : QColor());
                fiRed = fiGreen = fiBlue = 0;
                fbColourSet = false;
            }
            return;
        }
        if (state.bSkip)
            return;
        fsRun += c;
    }

    // Writes the pending text with the current character format.
    void FlushText()
    {
        if (fsRun.isEmpty())
            return;
        const TGroupState& state = State();
        StartParagraph();
        QString sStyle = QStringLiteral("font-size:%1pt;").arg(state.iHalfPoints / 2.0);
        if (fFonts.contains(state.iFont))
            sStyle += QStringLiteral("font-family:'%1';").arg(Escaped(fFonts.value(state.iFont)));
        if (state.bBold)
            sStyle += QStringLiteral("font-weight:bold;");
        if (state.bItalic)
            sStyle += QStringLiteral("font-style:italic;");
        if (state.bUnderline)
            sStyle += QStringLiteral("text-decoration:underline;");
        if (state.iColour > 0 && state.iColour < fColours.size() && fColours.at(state.iColour).isValid())
            sStyle += QStringLiteral("color:%1;").arg(fColours.at(state.iColour).name());
        QString sText = Escaped(fsRun);
        sText.replace(QChar::LineSeparator, QStringLiteral("<br/>"));
        fsParagraph += QStringLiteral("<span style=\"%1\">%2</span>").arg(sStyle, sText);
        fsRun.clear();
    }

    void StartParagraph()
    {
        if (fbInParagraph)
            return;
        const TGroupState& state = State();
        static const char* const aligns[] = {"left", "center", "right", "justify"};
        fsParagraphStyle = QStringLiteral("white-space:pre-wrap;margin-top:0;margin-bottom:0;text-align:%1;"
                                          "margin-left:%2pt;margin-right:%3pt;text-indent:%4pt;")
                               .arg(QLatin1String(aligns[state.iAlign]))
                               .arg(state.iLeftIndent / 20.0)
                               .arg(state.iRightIndent / 20.0)
                               .arg(state.iFirstIndent / 20.0);
        fbParagraphInTable = state.bInTable;
        fbInParagraph = true;
    }

    // Takes the open paragraph (or an empty one when bEmptyToo) out of the paragraph state and
    // gives its HTML; false when there is none. It never touches the table state, so that the
    // table steps below can finish a paragraph without coming back into themselves.
    bool TakeParagraph(bool bEmptyToo, QString& sParagraph, bool& bInTable)
    {
        FlushText();
        if (!fbInParagraph && !bEmptyToo)
            return false;
        StartParagraph();
        sParagraph = QStringLiteral("<p style=\"%1\">%2</p>").arg(fsParagraphStyle, fsParagraph);
        bInTable = fbParagraphInTable;
        fsParagraph.clear();
        fbInParagraph = false;
        return true;
    }

    void EndParagraph(bool bEmptyToo)
    {
        QString sParagraph;
        bool bInTable = false;
        if (!TakeParagraph(bEmptyToo, sParagraph, bInTable))
            return;
        if (bInTable) {
            fsCell += sParagraph;
        } else {
            CloseTable();
            fsHtml += sParagraph;
        }
    }

    // Text before a cell mark belongs to the cell, even in a paragraph not marked as in a table:
    // many generators write rows without that mark.
    void EndCell()
    {
        QString sParagraph;
        bool bInTable = false;
        if (TakeParagraph(false, sParagraph, bInTable))
            fsCell += sParagraph;
        fRowCells.append(fsCell);
        fsCell.clear();
    }

    void EndRow()
    {
        if (!fsCell.isEmpty() || fbInParagraph || !fsRun.isEmpty())
            EndCell();
        if (fRowCells.isEmpty())
            return;
        if (!fbTableOpen) {
            fsHtml += QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"2\">");
            fbTableOpen = true;
        }
        fsHtml += QStringLiteral("<tr>");
        for (const QString& sCell : fRowCells)
            fsHtml += QStringLiteral("<td>") + sCell + QStringLiteral("</td>");
        fsHtml += QStringLiteral("</tr>");
        fRowCells.clear();
    }

    void CloseTable()
    {
        if (!fRowCells.isEmpty() || !fsCell.isEmpty())
            EndRow();
        if (fbTableOpen) {
            fsHtml += QStringLiteral("</table>");
            fbTableOpen = false;
        }
    }

    void ControlWord()
    {
        ++fiPos; // the backslash
        if (fiPos >= fRtf.size())
            return;
        const char c = fRtf.at(fiPos);
        if (!std::isalpha(static_cast<unsigned char>(c))) {
            ++fiPos;
            ControlSymbol(c);
            return;
        }
        const int iStart = fiPos;
        while (fiPos < fRtf.size() && std::isalpha(static_cast<unsigned char>(fRtf.at(fiPos))) &&
               fiPos - iStart < 32)
            ++fiPos;
        const QByteArray aWord = fRtf.mid(iStart, fiPos - iStart);
        bool bHasParam = false;
        int iParam = 0;
        const int iParamStart = fiPos;
        if (fiPos < fRtf.size() &&
            (fRtf.at(fiPos) == '-' || std::isdigit(static_cast<unsigned char>(fRtf.at(fiPos))))) {
            ++fiPos;
            while (fiPos < fRtf.size() && std::isdigit(static_cast<unsigned char>(fRtf.at(fiPos))) &&
                   fiPos - iParamStart < 11)
                ++fiPos;
            bool bOk = false;
            iParam = fRtf.mid(iParamStart, fiPos - iParamStart).toInt(&bOk);
            bHasParam = bOk;
        }
        if (fiPos < fRtf.size() && fRtf.at(fiPos) == ' ')
            ++fiPos;
        Apply(aWord, bHasParam, iParam);
    }

    void ControlSymbol(char c)
    {
        switch (c) {
        case '\'': {
            const QByteArray aHex = fRtf.mid(fiPos, 2);
            fiPos += int(aHex.size());
            bool bOk = false;
            const int iByte = aHex.toInt(&bOk, 16);
            if (bOk)
                AddChar(AnsiChar(static_cast<unsigned char>(iByte)));
            break;
        }
        case '\\':
        case '{':
        case '}':
            AddChar(QChar::fromLatin1(c));
            break;
        case '~':
            AddChar(QChar(0x00A0));
            break;
        case '_':
            AddChar(QChar(0x2011));
            break;
        case '*':
            FlushText();
            State().bSkip = true;
            State().iDestination = edSkip;
            break;
        case '\r':
        case '\n':
            EndParagraph(true);
            break;
        default:
            break; // optional hyphen and other symbols: nothing to show
        }
    }

    void Apply(const QByteArray& aWord, bool bHasParam, int iParam)
    {
        TGroupState& state = State();
        const auto is = [&](const char* s) { return aWord == s; };
        const bool bOn = !bHasParam || iParam != 0;
        if (is("par")) {
            EndParagraph(true);
        } else if (is("line")) {
            AddChar(QChar::LineSeparator);
        } else if (is("tab")) {
            AddChar(QLatin1Char('\t'));
        } else if (is("b") || is("i") || is("ul") || is("ulnone") || is("plain") || is("f") || is("fs") ||
                   is("cf")) {
            FlushText();
            if (is("b"))
                state.bBold = bOn;
            else if (is("i"))
                state.bItalic = bOn;
            else if (is("ul"))
                state.bUnderline = bOn;
            else if (is("ulnone"))
                state.bUnderline = false;
            else if (is("plain")) {
                state.bBold = state.bItalic = state.bUnderline = false;
                state.iHalfPoints = 24;
                state.iColour = 0;
            } else if (is("f")) {
                if (state.iDestination == edFontTable)
                    fiFontNumber = iParam;
                else
                    state.iFont = iParam;
            } else if (is("fs") && iParam > 0)
                state.iHalfPoints = iParam;
            else if (is("cf"))
                state.iColour = iParam;
        } else if (is("ql") || is("qc") || is("qr") || is("qj")) {
            state.iAlign = is("ql") ? 0 : is("qc") ? 1 : is("qr") ? 2 : 3;
        } else if (is("li")) {
            state.iLeftIndent = iParam;
        } else if (is("ri")) {
            state.iRightIndent = iParam;
        } else if (is("fi")) {
            state.iFirstIndent = iParam;
        } else if (is("pard")) {
            state.iAlign = state.iLeftIndent = state.iRightIndent = state.iFirstIndent = 0;
            state.bInTable = false;
        } else if (is("intbl")) {
            state.bInTable = true;
        } else if (is("cell")) {
            EndCell();
        } else if (is("row")) {
            EndRow();
        } else if (is("u") && bHasParam) {
            AddChar(QChar(ushort(iParam < 0 ? iParam + 65536 : iParam)));
            fiSkipChars = state.iUnicodeSkip;
        } else if (is("uc")) {
            state.iUnicodeSkip = std::max(0, iParam);
        } else if (is("fonttbl")) {
            state.iDestination = edFontTable;
        } else if (is("colortbl")) {
            state.iDestination = edColourTable;
            fColours.clear();
        } else if (is("red") || is("green") || is("blue")) {
            (is("red") ? fiRed : is("green") ? fiGreen : fiBlue) = iParam;
            fbColourSet = true;
        } else if (is("pict") || is("stylesheet") || is("info") || is("header") || is("footer") ||
                   is("headerl") || is("headerr") || is("footerl") || is("footerr") || is("object") ||
                   is("fldinst") || is("themedata") || is("colorschememapping") || is("latentstyles") ||
                   is("datastore") || is("xmlnstbl") || is("listtable") || is("listoverridetable") ||
                   is("rsidtbl") || is("generator") || is("filetbl") || is("revtbl") || is("pgdsctbl")) {
            FlushText();
            state.bSkip = true;
            state.iDestination = edSkip;
        }
        // Every other control word is ignored.
    }

    const QByteArray& fRtf;
    QStringList& fWarnings;
    int fiPos = 0;
    std::vector<TGroupState> fStack;
    QMap<int, QString> fFonts;
    QVector<QColor> fColours;
    int fiFontNumber = -1;
    QString fsFontName;
    int fiRed = 0, fiGreen = 0, fiBlue = 0;
    bool fbColourSet = false;
    int fiSkipChars = 0;

    QString fsRun;
    QString fsParagraph;
    QString fsParagraphStyle;
    bool fbInParagraph = false;
    bool fbParagraphInTable = false;
    QString fsCell;
    QStringList fRowCells;
    bool fbTableOpen = false;
    QString fsHtml;
};

} // namespace

QString TRtfReader::ToHtml(const QByteArray& aRtf)
{
    fslWarnings.clear();
    if (!aRtf.trimmed().startsWith("{\\rtf"))
        fslWarnings.append(QStringLiteral("The text does not start as RTF; it is read as far as possible"));
    TParser parser(aRtf, fslWarnings);
    return QStringLiteral("<html><body>") + parser.Run() + QStringLiteral("</body></html>");
}

bool TRtfReader::Read(const QByteArray& aRtf, QTextDocument& aDocument)
{
    aDocument.setHtml(ToHtml(aRtf));
    return aRtf.trimmed().startsWith("{\\rtf");
}
