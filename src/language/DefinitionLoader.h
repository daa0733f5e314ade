#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class IInterpreterHost;
class TDeviceContext;
class TTestTree;
enum TInterpreterResult : std::uint8_t;

// One load of a definition: the interpreter, or a test's stand-in for it. A session makes one per
// load and frees it when the load ends.
class IDefinitionLoader
{
public:
    virtual ~IDefinitionLoader() = default;

    // Reads the file with its includes and preprocesses it; raises on a reader or preprocessor
    // error.
    virtual void FileLoad(const QString& sFileName) = 0;
    // Turns the read lines into settings, devices, variables and the test tree; single line
    // problems become "Error: file, line: text" items of LoadInfos and give irError.
    virtual TInterpreterResult LoadDefinition(TTestTree& aTree) = 0;
    // The lines the last LoadDefinition left out because of their errors.
    virtual int SkippedLines() const = 0;
    // The errors and warnings of the last load as load information items, each introduced by
    // CR LF ("\r\nError: file, line: text", "\r\nWarning: ...").
    virtual QString LoadInfos() const { return QString(); }
    virtual int WarningCount() const { return 0; }
};

using TDefinitionLoaderFactory =
    std::function<std::unique_ptr<IDefinitionLoader>(IInterpreterHost& aHost, TDeviceContext& aContext)>;

// The interpreter as the loader: what both programs use.
std::unique_ptr<IDefinitionLoader> CreateInterpreterLoader(IInterpreterHost& aHost, TDeviceContext& aContext);
