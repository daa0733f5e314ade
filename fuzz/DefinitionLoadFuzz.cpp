// Loads an arbitrary definition text the whole way, preprocessor and keyword pass, with the
// System Control device available. Includes are answered from memory: the input's lines "----"
// divide it into the main file and include files "1.TZI", "2.TZI", and so on. Aborts when a load
// reports success with errors or builds more test nodes than it read lines.

#include "FuzzSupport.h"

#include "core/FormatSettings.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/RegIO.h"
#include "core/ValueLog.h"
#include "core/VariableManager.h"
#include "devices/DeviceFamilies.h"
#include "execution/DeviceList.h"
#include "execution/TestTree.h"
#include "language/DefFileInterpreter.h"
#include "language/InterpreterHost.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <memory>

namespace {

class THost : public IInterpreterHost
{
public:
    bool SkipErrors() const override { return false; }
    void SetFileInfo(const QString&, const QString&) override {}
    bool AssignKey(int, const QString& sCaption) override { return sCaption == QLatin1String("Start"); }
    void SetDefaultDocument(const QString&) override {}
    TErrorReport* ErrorReport() override { return nullptr; }
};

TDeviceTypes& FuzzTypes()
{
    static TDeviceTypes types;
    return types;
}

// The context of every input's load: the process's instances, released after each input.
TDeviceContext& FuzzContext()
{
    static TDeviceContext context;
    context.SetVariables(&TVariableManager::Instance());
    context.SetValueLog(&TValueLog::Instance());
    context.SetSettings(&TRegIO::Instance());
    context.SetTypes(&FuzzTypes());
    return context;
}

class TMemoryInterpreter : public TInterpreter
{
public:
    TMemoryInterpreter(IInterpreterHost& aHost, const std::vector<QStringList>& aFiles)
        : TInterpreter(aHost, FuzzContext()), fFiles(aFiles)
    {}

    bool FileAvailable(const QString& sFileName) const override { return Section(sFileName) > 0; }
    bool LoadFileToList(const QString& sFileName, QStringList& aList) override
    {
        const int iSection = Section(sFileName);
        if (iSection <= 0)
            return false;
        // Include fan-out is bounded by the file reader's byte budget; files from memory have
        // none, so the number of include answers stands in for it.
        if (++fiIncludes > 64)
            throw EMsg(QStringLiteral("Too many includes"), TMsgId(0x03021E), 0);
        aList = fFiles[std::size_t(iSection)];
        return true;
    }

private:
    int Section(const QString& sFileName) const
    {
        const QString sName = QFileInfo(sFileName).fileName();
        if (!sName.endsWith(QLatin1String(".TZI")))
            return -1;
        bool bOk = false;
        const int i = sName.chopped(4).toInt(&bOk);
        return bOk && i > 0 && i < int(fFiles.size()) ? i : -1;
    }

    const std::vector<QStringList>& fFiles;
    int fiIncludes = 0;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* piArgc, char*** pppArgv)
{
    static std::unique_ptr<QCoreApplication> app = std::make_unique<QCoreApplication>(*piArgc, *pppArgv);
    RegisterDeviceFamilies(FuzzTypes());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    const QByteArray aBytes(reinterpret_cast<const char*>(pData), qsizetype(nSize));
    std::vector<QStringList> files(1);
    for (const QString& sLine : TInterpreterBase::BytesToLines(aBytes)) {
        if (sLine == QLatin1String("----"))
            files.emplace_back();
        else
            files.back().append(sLine);
    }

    THost host;
    TTestTree tree;
    {
        TMemoryInterpreter interpreter(host, files);
        TInterpreterResult eResult = irError;
        try {
            interpreter.LoadFromList(QStringLiteral("/fuzz/main.TZD"), files.front());
            eResult = interpreter.LoadDefinition(tree);
        } catch (const EMsg&) {
        } catch (const EError&) {
        }
        FuzzCheck(eResult != irSuccess || interpreter.LastErrors().isEmpty(), "success without errors");
        qsizetype iLines = 0;
        for (const auto& item : interpreter.FileList())
            iLines += item.pObject->Count();
        FuzzCheck(tree.Count() <= iLines, "at most one node per line");
    }
    tree.Clear();
    FuzzContext().Devices().Clear();
    TVariableManager::InstanceRelease();
    TValueLog::InstanceRelease();
    TRegIO::InstanceRelease();
    TFormatSettings::ResetApp();
    TMsgClass::ReleaseSingleton();
    return 0;
}
