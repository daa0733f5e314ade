#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// A named thing of a definition file and where it is written (0-based line, name's columns in
// UTF-16 code units, as the editor counts them).
struct TDefSymbol
{
    enum EKind
    {
        skTestCase,
        skFinalCase,
        skDevice,
        skVariable,
        skDefine,
        skInclude
    };
    EKind eKind = skTestCase;
    QString sName;
    QString sDetail; // device type, variable type, define value, or the include's full path
    QString sFile;
    int iLine = 0;
    int iStart = 0;
    int iEnd = 0;
    int iLastLine = 0; // a test case's closing line (its own line while it is open)
    int iParent = -1;  // the enclosing test case's index in the file's symbols, -1 at the root
};

// Where a name is used: file, line and columns.
struct TDefLocation
{
    QString sFile;
    int iLine = 0;
    int iStart = 0;
    int iEnd = 0;
};

// The statements of one definition file as written (comments left out, every #if branch kept):
// what the editor navigates by. The load itself stays the interpreter's.
class TDocumentIndex
{
public:
    // sMainDirectory: the folder includes are found in (the main file's, also in nested includes).
    static TDocumentIndex Scan(const QString& sFile, const QString& sText, const QString& sMainDirectory);

    const QString& File() const { return fsFile; }
    const std::vector<TDefSymbol>& Symbols() const { return fSymbols; }
    // The lines as written and without comments (same numbering).
    const QStringList& Lines() const { return fslLines; }
    const QStringList& Code() const { return fslCode; }

    // Include file name of an "#include" line, resolved as the reader does; empty when the line is
    // no include.
    static QString IncludePath(const QString& sCodeLine, const QString& sMainDirectory);

    // Where sName is used as a device (sKind skDevice), test case, variable or define in this file,
    // declarations included.
    std::vector<TDefLocation> Uses(TDefSymbol::EKind eKind, const QString& sName) const;

private:
    QString fsFile;
    QStringList fslLines;
    QStringList fslCode;
    std::vector<TDefSymbol> fSymbols;
};
