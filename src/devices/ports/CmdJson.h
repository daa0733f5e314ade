#pragma once

#include "DevicePortBase.h"

#include <QString>

#include <utility>
#include <vector>

namespace ports {

class TJsonValue;

// "SendJson": sends a text, waits for a framed JSON response and checks the expected terms
// (a path and a wildcard pattern or an InRange(lower..upper)) in order. The value of the last
// examined term is the log value and may go into a variable.
class TCmdDataSendJson : public TCmdData
{
public:
    explicit TCmdDataSendJson(TDevice* aOwner, std::uint32_t dwBusyId = 0x20260A) : TCmdData(aOwner, dwBusyId)
    {}
    TCommand* Init(const QString& sParameter) override;

    using TTerm = std::pair<QString, QString>; // path, expectation
    const std::vector<TTerm>& ExpectedResponse() const { return fslExpectedResponse; }

protected:
    void Start(const QString& sParameter) override;
    void WaitJson();
    // Reads start tag, end tag, terms and the optional variable from value iFirst on.
    void ReadJsonExpectation(const TCommaSeparatedValue& csv, int iFirst, std::uint32_t dwVariableId);

private:
    void LoadExpectedValues(const QString& sTerms);
    void ConcludeJson();
    bool CheckTerm(const TJsonValue& aResponse, const TTerm& aTerm);
    bool CheckRange(const TJsonValue& aValue, const TTerm& aTerm);
    // A term that fails without a comparison: its text is the step's error text and is logged.
    void FailTerm(const QString& sText);

    QString fsData;
    QString fsLastValue;
    std::vector<TTerm> fslExpectedResponse;
};

// "WaitForJson": as SendJson without sending; a response already received is checked at once.
class TCmdDataWaitForJson : public TCmdDataSendJson
{
public:
    explicit TCmdDataWaitForJson(TDevice* aOwner) : TCmdDataSendJson(aOwner, 0x20280A) {}
    TCommand* Init(const QString& sParameter) override;

protected:
    void Start(const QString& sParameter) override;
};

} // namespace ports
