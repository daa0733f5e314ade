#include "HeapPages.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const csTunables = "GLIBC_TUNABLES";
const char* const csHugePages = "glibc.malloc.hugetlb=1";
// Set across the restart: the caller's GLIBC_TUNABLES, after a marker that tells an unset one from
// an empty one.
const char* const csSaved = "TZK_HEAP_PAGES_SAVED";

// Huge pages are given to a program only where it asks for them ("[madvise]" selected).
bool HugePagesOnRequest()
{
    std::ifstream file("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string sModes;
    std::getline(file, sModes);
    return sModes.find("[madvise]") != std::string::npos;
}

bool NamesLargeFile(int argc, char** argv, long long iMinBytes)
{
    for (int i = 1; i < argc; ++i) {
        struct stat info
        {};
        if (stat(argv[i], &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= iMinBytes)
            return true;
    }
    return false;
}

void RestoreCallersTunables(const char* pSaved)
{
    const std::string sSaved(pSaved);
    if (sSaved.empty())
        unsetenv(csTunables);
    else
        setenv(csTunables, sSaved.c_str() + 1, 1);
    unsetenv(csSaved);
}

} // namespace

void UseHugePageHeap(int argc, char** argv, long long iMinBytes)
{
    if (const char* pSaved = std::getenv(csSaved)) {
        RestoreCallersTunables(pSaved);
        return;
    }
    const char* pChoice = std::getenv("TZK_HEAP_PAGES");
    if (pChoice && std::strcmp(pChoice, "default") == 0)
        return;
    const char* pTunables = std::getenv(csTunables);
    if ((pTunables && std::strstr(pTunables, "glibc.malloc.hugetlb")) ||
        !NamesLargeFile(argc, argv, iMinBytes) || !HugePagesOnRequest())
        return;

    const std::string sSaved = pTunables ? std::string("=") + pTunables : std::string();
    const std::string sTunables =
        pTunables && *pTunables ? std::string(pTunables) + ":" + csHugePages : std::string(csHugePages);
    if (setenv(csSaved, sSaved.c_str(), 1) != 0 || setenv(csTunables, sTunables.c_str(), 1) != 0)
        return;
    execv("/proc/self/exe", argv);
    // The restart failed: go on with the ordinary heap and the caller's environment.
    RestoreCallersTunables(sSaved.c_str());
}
