#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class TDeviceTypes;
class TExpressionParser;
struct TFunctionInfo;
class TInterpreterBase;

// Checks a loaded definition for mistakes that load without an error but rarely do what the
// writer meant: jumps to test cases that do not exist, test cases with the same name, parameter
// lists without their closing parenthesis, test cases left open at the end, names in conditions
// that the expressions do not know (they read as "not a number"), and definitions without any
// test case. It reports warnings only; the load and the run stay as they are.
//
// The checks look at each line a fixed number of times, so their work grows with the size of the
// definition and no more.
class TDefFileLint
{
public:
    struct TWarning
    {
        QString sFileName;
        int iLine = 0;
        QString sText;
    };

    // Keeps the lines as read: the preprocessing pass blanks the condition directives, which are
    // checked against these. aTypes tells the fields of the devices' functions; it outlives the
    // lint.
    TDefFileLint(const TInterpreterBase& aReader, const TDeviceTypes& aTypes);
    ~TDefFileLint();
    TDefFileLint(const TDefFileLint&) = delete;
    TDefFileLint& operator=(const TDefFileLint&) = delete;

    // Checks the lines as the keyword pass saw them (after preprocessing) together with the lines
    // kept at construction. aReader is the reader given to the constructor; one check per object.
    void Check(const TInterpreterBase& aReader);

    // In the order of the lines they belong to.
    const std::vector<TWarning>& Warnings() const { return fWarnings; }
    // The warnings as load information items: CR LF, "Warning: ", "file, line: " and the text.
    QString LoadInfos() const;

private:
    // One line of the definition: its segment and its 0-based index there.
    struct TLocation
    {
        int iSegment = 0;
        int iIndex = 0;
    };
    struct TSegment
    {
        QString sFileName;
        int iLineOffset = 0;
        QStringList slLines;
    };
    struct TNamed
    {
        QString sName;
        TLocation location;
    };
    struct TTarget
    {
        QString sFunction;
        QString sName;
        TLocation location;
    };

    static std::vector<TSegment> Segments(const TInterpreterBase& aReader);
    void Warn(const TLocation& aAt, const QString& sText);
    void CheckDirectives(const TInterpreterBase& aReader);
    // Collects the devices, variables, test cases and node labels, and checks the brackets.
    void CollectStatements(const std::vector<TSegment>& aLines);
    void CheckFunction(const QString& sLine, const TLocation& aAt);
    // The registered function sFunction of the device named sDevice, or null.
    const TFunctionInfo* FunctionOf(const QString& sDevice, const QString& sFunction) const;
    // A "%" reference in a parameter that names no declared variable.
    void CheckReferences(const QString& sField, const TLocation& aAt);
    void CheckTargets();
    // Warns about every name in sTerm that the expressions do not know. In a function's condition
    // a reference to a variable ("%" and its name) must name a declared variable; in a
    // preprocessor condition a defined name stands for its value.
    void CheckTerm(const QString& sTerm, const QString& sWhat, const TLocation& aAt, bool bDirective);
    // sShown: the condition as written, for the message.
    void WarnUnknownNames(const QString& sTerm, const QString& sShown, const QString& sWhat,
                          const TLocation& aAt, bool bDirective);
    // The names in sTerm that the expressions do not know, each once.
    QStringList UnknownNames(const QString& sTerm, bool bDirective);
    const QStringList& DefineUnknownNames(const QString& sName);
    void DeclareVariable(const QString& sName);
    // The length of the name of the first declared variable that follows a "%" at iPos, or 0.
    int VariableAt(const QString& sText, int iPos) const;

    std::vector<TSegment> fRawLines;
    std::vector<TSegment> fLines;
    std::unique_ptr<TExpressionParser> fParser;
    // Defined names with their values, from every #define line and the final define list.
    QHash<QString, QString> fDefines;
    const TDeviceTypes& fTypes;
    QHash<QString, QStringList> fDeviceTypes; // device name -> the type keywords it was created with
    QHash<QString, QString> fVariablesLower;  // lower-case name -> name as declared
    // The declared names as a tree of characters: (node << 16 | character) -> child node, and the
    // declaration order of the name that ends at each node (-1 for none). Node 0 is the root.
    QHash<quint64, int> fNameTrie;
    std::vector<int> fNameOrder{-1};
    QHash<QString, QStringList> fDefineUnknowns;
    std::vector<TNamed> fTestCases;
    QHash<QString, int> fTestCaseIndex; // lower-case name -> index of the first in fTestCases
    QHash<QString, bool> fNodeLabels;   // lower-case label of every node
    std::vector<TTarget> fTargets;
    std::vector<std::pair<TLocation, TWarning>> fFound;
    std::vector<TWarning> fWarnings;
};
