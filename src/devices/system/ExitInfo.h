#pragma once

#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

class TMsgChannel;

namespace sys {

// One line of an exit-code definition file: what an exit code of a program means.
class TExitInfo
{
public:
    TExitInfo(std::uint32_t aCode, bool aSuccess, QString aText)
        : FnCode(aCode), FbSuccess(aSuccess), FsText(std::move(aText))
    {}

    std::uint32_t Code() const { return FnCode; }
    bool Success() const { return FbSuccess; }
    const QString& Text() const { return FsText; }

private:
    std::uint32_t FnCode;
    bool FbSuccess;
    QString FsText;
};

// The exit codes of one program, read from its ".tec" file.
class TExitInfoList
{
public:
    // Loads the file; false (with the error logged to aMsg) when it cannot be used.
    bool Init(const QString& sFileName, TMsgChannel& aMsg);
    // The first entry for aCode, else the default entry, else null.
    const TExitInfo* GetInfo(std::uint32_t aCode) const;

private:
    std::unique_ptr<TExitInfo> fDefault;
    std::vector<std::unique_ptr<TExitInfo>> fList;
};

// The exit-code lists loaded for one definition, by file name (case ignored). A file that could not
// be used is remembered as null, so that its errors are reported once per load.
class TCmdLineExitInfo
{
public:
    // The list of sFileName, loaded on first use (reported to aMsg, the session's channel); null
    // when the file is missing or broken.
    const TExitInfoList* Init(const QString& sFileName, TMsgChannel& aMsg);

    // The exit-code file that belongs to a program: its extension replaced by ".tec".
    static QString ExitCodeFileName(const QString& sProgram);

private:
    std::map<QString, std::unique_ptr<TExitInfoList>> fConfigList;
};

} // namespace sys
