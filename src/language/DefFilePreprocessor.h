#pragma once

#include "language/DefFileLoadCondition.h"

#include <QString>

#include <memory>
#include <vector>

class TInterpreterBase;
class TWinPrintersOnline;

// The preprocessing pass: substitutes defined names, keeps or drops the lines of conditional
// blocks, handles the built-in terms and definition documents. It rewrites the reader's lines in
// place: directive lines and the lines of dropped branches become empty.
class TDefFilePreprocessor
{
public:
    // A line may grow by substitution up to this length; beyond it the load stops.
    static constexpr int ciMaxLineLength = 1 << 20;

    explicit TDefFilePreprocessor(TInterpreterBase& aReader);
    ~TDefFilePreprocessor();

    // Runs the pass. Errors stop it with the location in front of their text; a cancelled
    // definition document query raises EOperationCancelled.
    void Run();

private:
    void ProcessLine(const QString& sRead);
    QString Substitute(const QString& sLine) const;
    QString SubstituteNames(QString sText) const;
    void HandleDefine(const QString& sLine);
    // False when the line was blanked by a warning term.
    bool BuiltInTerms(QString& sWork);
    void ConditionDirective(const QString& sWork, const QString& sRead);
    void SkipToNextBranch();
    bool IsDefined(const QString& sName) const;
    void Trace(bool bResult, const QString& sRead, const QString& sWork) const;
    void ShowDefineDoc(const QString& sLine);
    void Define(const QString& sName, const QString& sValue, bool bFromDocument);
    void Blank();

    // Marks the defines whose names start at a position in [iFrom, iTo) of sText.
    void CollectNames(const QString& sText, int iFrom, int iTo, std::vector<char>& aFound) const;
    void RebuildNameIndex();

    // The defines with their trimmed values, in the order of their first definition, and the
    // defines listed by the first character of their names: substitution looks only at the
    // names that occur.
    struct TDefine
    {
        QString sName;
        QString sValue;
    };
    std::vector<TDefine> fDefines;
    std::vector<std::vector<int>> fByFirstChar; // characters below 128
    std::vector<int> fOtherFirstChar;           // names starting with any other character
    int fiMaxNameLength = 0;

    TInterpreterBase& fReader;
    TLoadCondition fCondition;
    std::unique_ptr<TWinPrintersOnline> fPrintersOnline;
};
