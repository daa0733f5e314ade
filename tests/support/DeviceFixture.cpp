#include "DeviceFixture.h"
#include "TestContext.h"

#include "core/EscTaggedString.h"
#include "core/MsgClasses.h"
#include "core/RegIO.h"
#include "devices/system/DeviceSys.h"
#include "execution/Job.h"
#include "execution/TestTree.h"

#include <QRegularExpression>

TDeviceFixture::TDeviceFixture()
{
    sys::RegisterDevices(TestDeviceTypes());
    TEscTaggedString::Instance().AddDefaultTags();
    fLog.SetShowTrace(true);
    fLog.Attach();
    TRegIO::Instance().SetEndOnFailure(true);
    fSession.Context().SetDialogs(&fOperator);
    fSession.AttachRunner(fHost);
}

TDeviceFixture::~TDeviceFixture()
{
    fSession.DetachRunner();
    fSession.ReleaseDefinition();
    fLog.Detach();
    TRegIO::InstanceRelease();
    TEscTaggedString::InstanceRelease();
    TMsgClass::ReleaseSingleton();
}

void TDeviceFixture::SetFileInfo(const QString& sLabel, const QString& sVersion)
{
    fsFileLabel = sLabel;
    fSession.ErrorReport().SetFileInfo(sLabel);
    fSession.ErrorReport().SetFileVersion(sVersion);
}

TLoadReport TDeviceFixture::Load(const QString& sText)
{
    return fSession.Load(fDir.WriteText(QStringLiteral("test.TZD"), sText), *this);
}

bool TDeviceFixture::LoadOk(const QString& sText)
{
    const TLoadReport report = Load(sText);
    if (report.bRunnable)
        return true;
    ADD_FAILURE() << "the definition did not load: " << report.sFailure.toStdString()
                  << report.sLoadInfos.toStdString() << "\nLog:\n"
                  << LogText().toStdString();
    return false;
}

QStringList TDeviceFixture::LoadErrors(const QString& sText)
{
    const TLoadReport report = Load(sText);
    QStringList errors;
    if (!report.sFailure.isEmpty())
        errors.append(report.sFailure);
    static const QRegularExpression item(QStringLiteral("^Error: .*?, (\\d+): (.*)$"),
                                         QRegularExpression::DotMatchesEverythingOption);
    for (const QString& sItem : report.sLoadInfos.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = item.match(sItem);
        if (m.hasMatch())
            errors.append(m.captured(1) + QStringLiteral(": ") + m.captured(2));
    }
    return errors;
}

QString TDeviceFixture::LineError(const QString& sLine, const QString& sDevices)
{
    const QString sText = QStringLiteral("Device.Create(SystemControl; Sys)\r\n") + sDevices +
                          QStringLiteral("\r\nTest.Case(\"Case\")\r\n{\r\n") + sLine +
                          QStringLiteral("\r\n}\r\n");
    const QStringList errors = LoadErrors(sText);
    if (errors.isEmpty())
        return QStringLiteral("no error");
    // Without the line number: the line's place depends on sDevices.
    const int iColon = errors.first().indexOf(QStringLiteral(": "));
    return iColon > 0 && errors.first().left(iColon).toInt() > 0 ? errors.first().mid(iColon + 2)
                                                                 : errors.first();
}

bool TDeviceFixture::Run(int iTimeoutMs)
{
    TProcessRunner& runner = *fSession.Runner();
    const std::size_t iFinals = fHost.finals.size();
    runner.SetProcessState(EProcessState::Ready);
    runner.Start();
    const bool bEnded = RunEventsUntil([&] { return fHost.finals.size() > iFinals; }, iTimeoutMs);
    if (!bEnded)
        ADD_FAILURE() << "the run did not end within " << iTimeoutMs << " ms\nLog:\n"
                      << LogText().toStdString();
    return bEnded;
}

bool TDeviceFixture::Passed() const
{
    return !fHost.finals.empty() && fHost.finals.back().bPassed;
}

TJob* TDeviceFixture::Step(const QString& sLabel)
{
    TTestTree& tree = fSession.Tree();
    for (int i = 0; i < tree.Count(); ++i) {
        TTreeNode* pNode = tree.Node(i);
        if (pNode->Text() == sLabel || pNode->Text().endsWith(QStringLiteral(". ") + sLabel))
            return pNode->Job();
    }
    return nullptr;
}

bool TDeviceFixture::Logged(const QString& sText) const
{
    return LogHas(fLog, sText);
}

QString TDeviceFixture::LogText() const
{
    QStringList lines;
    for (const TLogLine& line : fLog.Lines())
        lines.append(line.sText);
    return lines.join('\n');
}
