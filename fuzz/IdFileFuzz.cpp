// An ID file as the serial-number functions use it: its directives read as GetNextID loads them,
// the next number taken after the last one, that number appended under the lock and the file
// rewritten whole. Aborts when the file reads differently under the lock, when the next number is
// not above the last one or lies outside the ranges, when an appended ID does not read back as a
// new last line with the earlier lines as they were, or when a rewritten file does not read back
// as the lines written in the file's own encoding.

#include "FuzzSupport.h"

#include "devices/system/CmdIds.h"
#include "devices/system/IdFile.h"

#include "core/MsgExceptions.h"
#include "core/StrUtilsEx.h"
#include "core/VariableManager.h"

#include <QFile>
#include <QStringConverter>

#include <algorithm>
#include <optional>

namespace {

QString gsFile;

QByteArray FileBytes()
{
    QFile file(gsFile);
    FuzzCheck(file.open(QIODevice::ReadOnly), "the ID file can be read");
    return file.readAll();
}

// The number after the last ID, as GetNextID takes it from an unsorted file; nullopt when there is
// none.
std::optional<std::int64_t> NextId(const QStringList& slLines, const sys::TRange& ranges)
{
    const auto last = std::find_if(slLines.rbegin(), slLines.rend(),
                                   [](const QString& s) { return !s.trimmed().isEmpty(); });
    std::int64_t iLast = 0;
    if (last == slLines.rend())
        return std::nullopt;
    if (last->trimmed().compare(QLatin1String("#start"), Qt::CaseInsensitive) != 0 &&
        !TextToInteger(last->trimmed(), 64, iLast))
        return std::nullopt;
    std::int64_t iNext = iLast;
    if (ranges.Count() > 0) {
        if (!ranges.GetNextValue(iNext, 1))
            return std::nullopt;
        FuzzCheck(ranges.ValueInRange(iNext), "the next ID lies in a range");
    } else if (__builtin_add_overflow(iLast, 1, &iNext)) {
        return std::nullopt;
    }
    FuzzCheck(iNext > iLast, "the next ID is above the last one");
    return iNext;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    gsFile = FuzzTempDir("idfile") + QStringLiteral("/ids.txt");
    TVariableManager::Instance().SetValue(QStringLiteral("Id"), 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    const QByteArray aFound(reinterpret_cast<const char*>(pData), qsizetype(nSize));
    {
        QFile file(gsFile);
        FuzzCheck(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                      file.write(aFound) == aFound.size(),
                  "the ID file can be written");
    }
    const QStringList slRead = sys::TIdFile::ReadLines(gsFile);

    // The directives, as the function reads them when loading.
    sys::TCmdIdGetNext getNext(nullptr);
    bool bLoaded = false;
    try {
        getNext.Init(QStringLiteral(";") + gsFile + QStringLiteral(";Id"));
        bLoaded = true;
    } catch (const EError&) {
    }
    const std::optional<std::int64_t> iNext = bLoaded ? NextId(slRead, getNext.Ranges()) : std::nullopt;
    const QString sNewId = iNext ? QString::number(*iNext) : QStringLiteral("1000");

    QStringList slAppended;
    {
        sys::TIdFile file(gsFile, sys::TIdFile::ELock::Exclusive, 0);
        FuzzCheck(file.Lines() == slRead, "the file reads the same under the lock");
        file.Append(sNewId);
        slAppended = sys::TIdFile::ReadLines(gsFile);
        FuzzCheck(file.Lines() == slAppended, "the lines held are the file's");
    }
    FuzzCheck(FileBytes().startsWith(aFound), "an append keeps the bytes before it");
    FuzzCheck(!slAppended.isEmpty() && slAppended.last() == sNewId, "the appended ID is the last line");
    FuzzCheck(slAppended.size() == slRead.size() + 1, "an append adds one line");
    for (qsizetype i = 0; i < slRead.size(); ++i) {
        // A last line ended by a lone CR gets its line end behind that CR.
        const bool bSame = slAppended[i] == slRead[i] ||
                           (i + 1 == slRead.size() && slAppended[i] == slRead[i] + QLatin1Char('\r') &&
                            aFound.endsWith('\r'));
        FuzzCheck(bSame, "an append keeps the lines before it");
    }
    if (iNext && bLoaded && !getNext.SortedList()) {
        const std::optional<std::int64_t> iAfter = NextId(slAppended, getNext.Ranges());
        FuzzCheck(!iAfter || *iAfter > *iNext, "the ID after an appended one is above it");
    }

    // Rewritten whole, with a line of characters beyond 8 bits where the encoding holds them.
    QStringList slRewritten = slAppended;
    const qsizetype iNote = slRewritten.size() / 2;
    slRewritten.insert(iNote, QStringLiteral("#note \u00e9\u20ac"));
    {
        sys::TIdFile file(gsFile, sys::TIdFile::ELock::Exclusive, 0);
        try {
            file.Rewrite(slRewritten);
        } catch (const EError&) {
            FuzzCheck(QStringConverter::encodingForData(aFound) == std::nullopt,
                      "only an 8-bit file refuses");
            slRewritten.removeAt(iNote);
            file.Rewrite(slRewritten);
        }
    }
    FuzzCheck(sys::TIdFile::ReadLines(gsFile) == slRewritten, "a rewritten file reads back as written");
    FuzzCheck(QStringConverter::encodingForData(FileBytes()) == QStringConverter::encodingForData(aFound),
              "a rewrite keeps the byte-order mark");
    return 0;
}
