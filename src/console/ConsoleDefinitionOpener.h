#pragma once

#include "execution/DefinitionOpener.h"

#include <QString>

#include <functional>
#include <utility>

// The headless runner's side of OpenTZD: it remembers the definition to go on with and tells the
// run to end as the Stop action would; the runner then loads it into a fresh session.
class TConsoleDefinitionOpener : public IDefinitionOpener
{
public:
    void InitNewDefFile(const QString& sFileName, bool bAutoStart) override
    {
        fsFileName = sFileName;
        fbAutoStart = bAutoStart;
        fbPending = true;
        if (fOnRequest)
            fOnRequest();
    }
    // Called on every request: the current run is to end.
    void SetOnRequest(std::function<void()> aEvent) { fOnRequest = std::move(aEvent); }

    bool Pending() const { return fbPending; }
    const QString& FileName() const { return fsFileName; }
    bool AutoStart() const { return fbAutoStart; }
    void Clear() { fbPending = false; }

private:
    std::function<void()> fOnRequest;
    QString fsFileName;
    bool fbAutoStart = false;
    bool fbPending = false;
};
