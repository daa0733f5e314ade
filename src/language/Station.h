#pragma once

#include "language/Session.h"

#include "execution/SharedDevices.h"
#include "execution/StationLedger.h"

#include <QString>

#include <memory>
#include <vector>

class TDeviceTypes;
class TRegIO;

// A station that tests several units side by side: one session per test socket, each loading its
// own copy of the same definition with its own variables, devices, tree, runner and outcome. The
// socket number reaches each copy as the predefined name "__Socket" and the read-only variable
// "_Socket"; the station's wiring per socket comes from the settings group "Socket<k>" (see
// TSerial::ComPortPath).
class TStation
{
public:
    static constexpr int ciMaxSockets = 64;

    // iSockets sessions (clamped to 1 ... ciMaxSockets), numbered from 1. aTypes and aSettings as
    // for TSession: they outlive the station.
    TStation(int iSockets, const TDeviceTypes* aTypes = nullptr, TRegIO* aSettings = nullptr);
    ~TStation();
    TStation(const TStation&) = delete;
    TStation& operator=(const TStation&) = delete;

    int Count() const { return int(fSessions.size()); }
    // The session of socket iSocket, 1 ... Count().
    TSession& Session(int iSocket) const { return *fSessions.at(std::size_t(iSocket - 1)); }

    // After socket iSocket's load: with more than one socket its value log gets the column
    // "Socket" with the socket's number, so that the lines of all sockets in one file say whose
    // they are. With one socket the value log stays as it is.
    void Loaded(int iSocket);

    // The runner of socket iSocket with aHost as its operator face (TSession::AttachRunner); the
    // socket gives back the shared devices it holds whenever a test case starts and when its run
    // ends.
    TProcessRunner& AttachRunner(int iSocket, IRunnerHost& aHost);

    // The devices the sockets share (Device.Shared lines).
    TSharedDevices& SharedDevices() { return fShared; }

    // Ends the run of one socket as the operator's Stop would (its final cases still run); the
    // other sockets go on. False when that socket has no runner or nothing that can be stopped.
    bool StopSocket(int iSocket);
    // Stops every socket that runs.
    void StopAll();

    // The settings value "Sockets/Count" of the station's settings file: 1 when missing or not a
    // number from 1 to ciMaxSockets.
    static int SocketCountSetting(const QString& sSettingsFile);

private:
    // First: the sessions' trees hold commands of the shared devices, so they go before them.
    TStationLedger fLedger; // before the shared devices, whose contexts point at it
    TSharedDevices fShared;
    std::vector<std::unique_ptr<TSession>> fSessions;
};
