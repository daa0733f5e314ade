// An exit-code definition file (".tec") as the program runner loads it, then asked for codes.
// Aborts when a code's entry is that of another code (other than the default), when the default
// is not the answer for unlisted codes, or when loading the same file twice differs.

#include "FuzzSupport.h"

#include "devices/system/ExitInfo.h"

#include <QFile>

#include <cstdint>

namespace {

QString gsFile;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    gsFile = FuzzTempDir("exitinfo") + QStringLiteral("/tool.tec");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    {
        QFile file(gsFile);
        FuzzCheck(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                      file.write(reinterpret_cast<const char*>(pData), qint64(nSize)) == qint64(nSize),
                  "the file can be written");
    }
    sys::TExitInfoList list;
    const bool bLoaded = list.Init(gsFile);
    sys::TCmdLineExitInfo cache;
    const sys::TExitInfoList* cached = cache.Init(gsFile);
    FuzzCheck((cached != nullptr) == bLoaded, "the cache loads the file as the list does");
    FuzzCheck(cache.Init(gsFile) == cached, "a file is loaded once");
    if (!bLoaded)
        return 0;

    // The codes a definition is likely to list, and the ends of the range.
    const sys::TExitInfo* unlisted = nullptr;
    bool bUnlistedSeen = false;
    for (std::uint32_t nCode : {0U, 1U, 2U, 3U, 9U, 10U, 15U, 16U, 31U, 100U, 127U, 128U, 255U, 256U, 1000U,
                                0x7FFFFFFFU, 0x80000000U, 0xFFFFFFFEU, 0xFFFFFFFFU}) {
        const sys::TExitInfo* info = list.GetInfo(nCode);
        const sys::TExitInfo* fromCache = cached->GetInfo(nCode);
        FuzzCheck((info == nullptr) == (fromCache == nullptr), "both loads know the same codes");
        if (info) {
            FuzzCheck(info->Success() == fromCache->Success() && info->Text() == fromCache->Text(),
                      "both loads give the same entry");
            FuzzCheck(!info->Text().contains(QLatin1Char('\n')), "a text is one line");
        }
        if (info && info->Code() == nCode && info != list.GetInfo(nCode ^ 0x40000000U))
            continue; // listed
        // Unlisted codes all get the default entry (or none).
        if (bUnlistedSeen)
            FuzzCheck(info == unlisted, "unlisted codes share the default");
        unlisted = info;
        bUnlistedSeen = true;
    }
    return 0;
}
