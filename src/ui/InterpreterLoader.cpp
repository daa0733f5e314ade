#include "InterpreterLoader.h"

#include "language/DefFileInterpreter.h"
#include "language/InterpreterHost.h"

namespace {

class TInterpreterLoader : public IDefinitionLoader, private IInterpreterHost
{
public:
    explicit TInterpreterLoader(IDefinitionHost& aHost) : fHost(aHost), fInterpreter(*this)
    {
        fInterpreter.SetOnDefineQuery([this](QString& sText) { fHost.DefineQuery(sText); });
    }
    void FileLoad(const QString& sFileName) override { fInterpreter.FileLoad(sFileName); }
    TLoadOutcome LoadDefinition(TTestTree& aTree) override
    {
        switch (fInterpreter.LoadDefinition(aTree)) {
        case irSuccess:
            return TLoadOutcome::Success;
        case irCancelled:
            return TLoadOutcome::Cancelled;
        default:
            return TLoadOutcome::Errors;
        }
    }
    int SkippedLines() const override { return fInterpreter.SkippedLines(); }

private:
    bool SkipErrors() const override { return fHost.SkipErrors(); }
    void SetFileInfo(const QString& sLabel, const QString& sVersion) override
    {
        fHost.SetFileLabel(sLabel, sVersion);
    }
    bool AssignKey(int iKeyCode, const QString& sCaption) override
    {
        return fHost.AssignKey(iKeyCode, sCaption);
    }
    void SetDefaultDocument(const QString& sFileName) override
    {
        QString sFull;
        fHost.SetScriptDoc(sFileName, sFull);
    }
    TErrorReport* ErrorReport() override { return &fHost.ErrorReport(); }

    IDefinitionHost& fHost;
    TInterpreter fInterpreter;
};

} // namespace

std::unique_ptr<IDefinitionLoader> CreateInterpreterLoader(IDefinitionHost& aHost)
{
    return std::make_unique<TInterpreterLoader>(aHost);
}
