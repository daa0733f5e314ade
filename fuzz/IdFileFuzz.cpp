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
#include <QStringDecoder>

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

// Bytes per code unit of the file's encoding.
qsizetype UnitSize(const QByteArray& aFile)
{
    switch (QStringConverter::encodingForData(aFile).value_or(QStringConverter::Latin1)) {
    case QStringConverter::Utf16LE:
    case QStringConverter::Utf16BE:
        return 2;
    case QStringConverter::Utf32LE:
    case QStringConverter::Utf32BE:
        return 4;
    default:
        return 1;
    }
}

// Whether the file's text ends with a CR, in the file's encoding.
bool EndsWithCr(const QByteArray& aFile)
{
    QStringDecoder decoder(QStringConverter::encodingForData(aFile).value_or(QStringConverter::Latin1),
                           QStringConverter::Flag::Stateless);
    return QString(decoder.decode(aFile)).endsWith(QLatin1Char('\r'));
}

// The lines of a file before and after an append: the same, but that a last line ended by a lone CR
// (line iCrLine) gets its line end behind that CR, which then belongs to the line (IDs are read
// trimmed).
bool SameLines(const QStringList& slBefore, const QStringList& slAfter, qsizetype iCrLine,
               const QByteArray& aFound)
{
    if (slBefore.size() != slAfter.size())
        return false;
    for (qsizetype i = 0; i < slBefore.size(); ++i) {
        const bool bCr = i == iCrLine && EndsWithCr(aFound);
        if (slAfter[i] == slBefore[i] || (bCr && slAfter[i] == slBefore[i] + QLatin1Char('\r')))
            continue;
        // A code unit cut short at the end is completed: the last character is another then.
        if (i == iCrLine && aFound.size() % UnitSize(aFound) != 0 &&
            slBefore[i].chopped(1) == slAfter[i].left(slBefore[i].size() - 1))
            continue;
        return false;
    }
    return true;
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
        FuzzCheck(SameLines(file.Lines(), slAppended, slRead.size() - 1, aFound),
                  "the lines held are the file's");
    }
    FuzzCheck(FileBytes().startsWith(aFound), "an append keeps the bytes before it");
    FuzzCheck(!slAppended.isEmpty() && slAppended.last() == sNewId, "the appended ID is the last line");
    FuzzCheck(slAppended.size() == slRead.size() + 1, "an append adds one line");
    FuzzCheck(SameLines(slRead, slAppended.mid(0, slRead.size()), slRead.size() - 1, aFound),
              "an append keeps the lines before it");
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
    const QStringList slReadBack = sys::TIdFile::ReadLines(gsFile);
    if (slReadBack != slRewritten) {
        for (const QString& s : slRewritten)
            std::fprintf(stderr, "written: %s\n", s.toUtf8().toHex().constData());
        for (const QString& s : slReadBack)
            std::fprintf(stderr, "read: %s\n", s.toUtf8().toHex().constData());
    }
    // Bytes not valid in the file's encoding are read as replacement characters, and written so;
    // the converter reads code points beyond the range in 32-bit files as other characters.
    QStringDecoder decoder(QStringConverter::encodingForData(aFound).value_or(QStringConverter::Latin1));
    static_cast<void>(decoder.decode(aFound));
    FuzzCheck(decoder.hasError() || UnitSize(aFound) == 4 ? slReadBack.size() == slRewritten.size()
                                                          : slReadBack == slRewritten,
              "a rewritten file reads back as written");
    FuzzCheck(QStringConverter::encodingForData(FileBytes()) == QStringConverter::encodingForData(aFound),
              "a rewrite keeps the byte-order mark");
    return 0;
}
