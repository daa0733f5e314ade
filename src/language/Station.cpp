#include "Station.h"

#include "execution/ProcessRunner.h"
#include "execution/TestTree.h"

#include <QSettings>

#include <algorithm>

TStation::TStation(int iSockets, const TDeviceTypes* aTypes, TRegIO* aSettings) : fShared(aTypes, aSettings)
{
    const int iCount = std::clamp(iSockets, 1, ciMaxSockets);
    fSessions.reserve(std::size_t(iCount));
    for (int i = 1; i <= iCount; ++i) {
        fSessions.push_back(std::make_unique<TSession>(aTypes, aSettings));
        fSessions.back()->SetSocket(i);
        fSessions.back()->Context().SetStationDevices(&fShared);
        if (iCount > 1)
            fSessions.back()->Context().SetStationLedger(&fLedger);
    }
}

void TStation::Loaded(int iSocket)
{
    if (Count() > 1)
        Session(iSocket).ValueLog().SetFixedValue(QStringLiteral("Socket"), QString::number(iSocket));
}

TProcessRunner& TStation::AttachRunner(int iSocket, IRunnerHost& aHost)
{
    TSession& session = Session(iSocket);
    TProcessRunner& runner = session.AttachRunner(aHost);
    TDeviceContext* pContext = &session.Context();
    QObject::connect(&runner, &TProcessRunner::NodeStarted, &runner, [this, pContext](TTreeNode* aNode) {
        // A test case at the top of the tree starts: the previous one has ended.
        if (aNode && !aNode->Parent())
            fShared.ReleaseAll(*pContext);
    });
    QObject::connect(&runner, &TProcessRunner::ProcessFinished, &runner,
                     [this, pContext](bool) { fShared.ReleaseAll(*pContext); });
    QObject::connect(&runner, &QObject::destroyed, [this, pContext] {
        fShared.ReleaseAll(*pContext);
        fShared.Forget(*pContext);
    });
    return runner;
}

// The last socket's session goes first, as sessions release their parts in reverse order; the
// shared devices after all of them.
TStation::~TStation()
{
    while (!fSessions.empty())
        fSessions.pop_back();
}

bool TStation::StopSocket(int iSocket)
{
    if (iSocket < 1 || iSocket > Count())
        return false;
    TProcessRunner* pRunner = Session(iSocket).Runner();
    if (!pRunner || !pRunner->Actions().Stop.bEnabled || pRunner->OperatorRequest() == EOperatorRequest::Stop)
        return false;
    pRunner->Stop();
    return true;
}

void TStation::StopAll()
{
    for (int i = 1; i <= Count(); ++i)
        StopSocket(i);
}

int TStation::SocketCountSetting(const QString& sSettingsFile)
{
    if (sSettingsFile.isEmpty())
        return 1;
    const QSettings settings(sSettingsFile, QSettings::IniFormat);
    bool bOk = false;
    const int iCount = settings.value(QStringLiteral("Sockets/Count"), 1).toInt(&bOk);
    return bOk && iCount >= 1 && iCount <= ciMaxSockets ? iCount : 1;
}
