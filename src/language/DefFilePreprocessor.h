#pragma once

#include "language/DefFileLoadCondition.h"

#include <QHash>
#include <QString>
#include <QStringView>

#include <array>
#include <functional>
#include <memory>
#include <queue>
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
    // Characters all substituted lines of one load may add up to: twice what the reader may read,
    // so that an ordinary definition never comes near it, while a few defines that expand into
    // each other cannot fill the memory line by line.
    static constexpr qint64 ciMaxPreprocessedLength = qint64(64) << 20;

    explicit TDefFilePreprocessor(TInterpreterBase& aReader);
    ~TDefFilePreprocessor();

    // Runs the pass. Errors stop it with the location in front of their text; a cancelled
    // definition document query raises EOperationCancelled.
    void Run();

private:
    void ProcessLine(const QString& sRead);
    QString Substitute(const QString& sLine);
    QString SubstituteNames(QString sText);
    void HandleDefine(const QString& sLine);
    // False when the line was blanked by a warning term.
    bool BuiltInTerms(QString& sWork);
    // True when the lines up to the next branch are to be skipped.
    bool ConditionDirective(const QString& sWork, const QString& sRead);
    void SkipToNextBranch();
    bool IsDefined(const QString& sName) const;
    void Trace(bool bResult, const QString& sRead, const QString& sWork) const;
    void ShowDefineDoc(const QString& sLine);
    void Define(const QString& sName, const QString& sValue, bool bFromDocument);
    void Blank();

    // Index of the define called sName without regard to case, -1 when there is none.
    int FindDefine(const QString& sName) const;
    // Adds the last define to the name indexes.
    void IndexLastDefine();
    // Marks the defines whose names start at a position in [iFrom, iTo) of sText.
    void CollectNames(const QString& sText, int iFrom, int iTo);
    void Mark(int iDefine);
    int ChildOf(int iNode, char16_t c) const;
    void SetChild(int iNode, char16_t c, int iChild);
    QStringView Label(int iNode) const;

    // The defines with their trimmed values, in the order of their first definition.
    struct TDefine
    {
        QString sName;
        QString sValue;
    };
    std::vector<TDefine> fDefines;
    // The names, case-folded, for the lookups without regard to case.
    QHash<QString, int> fByFoldedName;
    // The names as a tree of their characters, each edge a piece of one name: substitution walks
    // it from every position of a line and so meets only the names that occur there, however
    // many are defined, and the tree grows with the number of names, not their length.
    struct TNameNode
    {
        int iLabelDefine = 0; // the edge into the node: characters of this define's name,
        int iLabelStart = 0;  // from here
        int iLabelLength = 0; // this many
        std::vector<std::pair<char16_t, int>> aChildren; // by the first character of their edge
        std::vector<int> aDefines;                       // defines whose name ends here
    };
    std::vector<TNameNode> fNameTree;
    std::array<int, 128> fRootAscii{}; // the root's children for the common characters
    int fiMaxNameLength = 0;
    // The defines found in the line being substituted: marked with the line's generation, and
    // queued so that they are replaced in the order of their definition.
    std::vector<unsigned> fFoundIn;
    unsigned fiGeneration = 0;
    std::priority_queue<int, std::vector<int>, std::greater<int>> fPending;
    // Per character of the line after a name's replacements: whether it came from its value.
    std::vector<char> fInserted;
    qint64 fiPreprocessedLength = 0;

    TInterpreterBase& fReader;
    TLoadCondition fCondition;
    std::unique_ptr<TWinPrintersOnline> fPrintersOnline;
};
