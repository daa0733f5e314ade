// Feeds arbitrary bytes through the definition reader: decoding, the comment filter, includes and
// the line iteration. Aborts when the line numbering goes wrong.

#include "core/MsgExceptions.h"
#include "core/StrUtilsEx.h"
#include "language/DefFileInterpreterBase.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// Includes resolve to a small fixed file, so that a run never touches the file system; names
// ending in "missing" do not exist.
class TFuzzReader : public TInterpreterReader
{
public:
    bool FileAvailable(const QString& sFileName) const override
    {
        return !sFileName.endsWith(QStringLiteral("missing"));
    }
    bool LoadFileToList(const QString& sFileName, QStringList& aList) override
    {
        aList = {QStringLiteral("Inc /* x"), QStringLiteral("*/ y // z"), QString()};
        return FileAvailable(sFileName);
    }
};

void Check(bool bHolds)
{
    if (!bHolds)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t iSize)
{
    const QByteArray aBytes(reinterpret_cast<const char*>(pData), qsizetype(iSize));
    const QStringList slLines = TInterpreterBase::BytesToLines(aBytes);

    // The filter keeps every line (line numbers depend on it) and trims them.
    int iOpenBlockLine = -1;
    const QStringList slClean = TInterpreterBase::RemoveComments(slLines, &iOpenBlockLine);
    Check(slClean.size() == slLines.size());
    Check(iOpenBlockLine >= -1 && iOpenBlockLine < slLines.size());
    for (const QString& sLine : slClean)
        Check(sLine == TrimControl(sLine));

    TFuzzReader reader;
    try {
        reader.LoadFromList(QStringLiteral("/fuzz/main.TZD"), slLines);
    } catch (const EMsg&) {
        // Errors of the content are expected; what was read so far is still walked below.
    }
    qsizetype iStored = 0;
    for (const auto& item : reader.FileList())
        iStored += item.pObject->Count();

    reader.Rewind();
    qsizetype iRead = 0;
    while (!reader.EndOfFile()) {
        const QString sLine = reader.GetNextLine();
        Check(++iRead <= iStored);
        TData* pData = reader.CurrentData();
        Check(pData != nullptr && pData->LineInFile() >= 1);
        if (!sLine.isEmpty()) {
            Check(!reader.CurrentLocation().isEmpty());
            pData->ReplaceCurrentLine(QString());
        }
    }
    Check(iRead == iStored);
    return 0;
}
