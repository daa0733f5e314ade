#pragma once

#include "language/DefFileInterpreterBase.h"
#include "language/DefinitionLoader.h"

#include <cstdint>

class IInterpreterHost;
class TDeviceContext;
class TTestTree;
class TTreeNode;

enum TInterpreterResult : std::uint8_t
{
    irNone = 0,
    irError,
    irFailure,
    irCancelled,
    irSuccess
};

// The definition interpreter: reads a definition with its includes and turns its statements into
// settings, variables, devices and the test tree.
class TInterpreter : public TInterpreterReader, public IDefinitionLoader
{
public:
    // The definition's variables, devices and messages are aContext's (its session's).
    TInterpreter(IInterpreterHost& aHost, TDeviceContext& aContext);

    void CreateKeyList() override;

    void FileLoad(const QString& sFileName) override { TInterpreterReader::FileLoad(sFileName); }
    // Runs the keyword pass over the loaded lines and fills aTreeView.
    TInterpreterResult LoadDefinition(TTestTree& aTreeView) override;
    int SkippedLines() const override { return TInterpreterReader::SkippedLines(); }
    // LastErrors with the preprocessor's and the definition check's warnings.
    QString LoadInfos() const override;
    int WarningCount() const override { return int(fslDirectiveWarnings.size()) + fiCheckWarnings; }

    TTestTree* TreeView() const { return FTreeView; }
    TTreeNode* CurrentNode() const { return FCurrentNode; }
    void SetCurrentNode(TTreeNode* aNode) { FCurrentNode = aNode; }
    IInterpreterHost& Host() const { return fHost; }
    TDeviceContext& Context() const { return fContext; }
    // The warnings of the definition check after the last LoadDefinition, as load information
    // items ("\r\nWarning: file, line: text"); they are not part of LastErrors.
    const QString& CheckWarnings() const { return fsCheckWarnings; }
    int CheckWarningCount() const { return fiCheckWarnings; }
    // The preprocessor's warnings of the last LoadDefinition ("file, line: text" each).
    const QStringList& DirectiveWarnings() const { return fslDirectiveWarnings; }

private:
    bool KeywordPass();

    IInterpreterHost& fHost;
    TDeviceContext& fContext;
    TTestTree* FTreeView = nullptr;
    TTreeNode* FCurrentNode = nullptr;
    QString fsCheckWarnings;
    int fiCheckWarnings = 0;
    QStringList fslDirectiveWarnings;
};
