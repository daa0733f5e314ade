#pragma once

#include <QDir>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <unistd.h>

// Input bytes as text: UTF-8 where valid, so that both ordinary and odd characters turn up.
inline QString FuzzText(const std::uint8_t* pData, std::size_t nSize)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(pData), qsizetype(nSize));
}

// Stops the run with a finding when a property of the code under test does not hold.
inline void FuzzCheck(bool bHolds, const char* sWhat)
{
    if (!bHolds) {
        std::fprintf(stderr, "property violated: %s\n", sWhat);
        std::abort();
    }
}

// A folder of its own for a target that reads files (under TMPDIR, best a memory file system),
// removed when the run ends.
inline QString FuzzTempDir(const char* sTarget)
{
    static QString sDir;
    if (sDir.isEmpty()) {
        sDir = QDir::tempPath() +
               QStringLiteral("/tzk-fuzz-%1-%2").arg(QString::fromLatin1(sTarget)).arg(getpid());
        QDir().mkpath(sDir);
        std::atexit([] { QDir(sDir).removeRecursively(); });
    }
    return sDir;
}
