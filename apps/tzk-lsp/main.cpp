// The language server for definition files: the protocol over standard input and output.

#include "devices/DeviceFamilies.h"
#include "execution/DeviceTypes.h"
#include "lsp/LspFraming.h"
#include "lsp/LspServer.h"
#include "lsp/ReferenceIndex.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QJsonDocument>

#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <unistd.h>

namespace {

void WriteAll(const QByteArray& aBytes)
{
    qsizetype iDone = 0;
    while (iDone < aBytes.size()) {
        const ssize_t iWritten =
            ::write(STDOUT_FILENO, aBytes.constData() + iDone, std::size_t(aBytes.size() - iDone));
        if (iWritten < 0 && errno == EINTR)
            continue;
        if (iWritten <= 0)
            return;
        iDone += iWritten;
    }
}

void Send(const QJsonObject& aMessage)
{
    const QByteArray aBody = QJsonDocument(aMessage).toJson(QJsonDocument::Compact);
    WriteAll("Content-Length: " + QByteArray::number(aBody.size()) + "\r\n\r\n" + aBody);
}

// Whether standard input has bytes (or its end) within iTimeoutMs.
bool InputReady(int iTimeoutMs)
{
    pollfd fd = {STDIN_FILENO, POLLIN, 0};
    return ::poll(&fd, 1, iTimeoutMs) > 0;
}

} // namespace

int main(int argc, char** argv)
{
    // Device types that lay out text take a GUI application; the server shows no window.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Standard output carries the protocol: Qt's own remarks go to standard error, and only those
    // that stop the program.
    qInstallMessageHandler([](QtMsgType eType, const QMessageLogContext&, const QString& sText) {
        if (eType != QtCriticalMsg && eType != QtFatalMsg)
            return;
        std::fprintf(stderr, "%s\n", sText.toLocal8Bit().constData());
        if (eType == QtFatalMsg)
            std::abort();
    });
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tzk-lsp"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TZK_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The language server for TZK test definitions: speaks the language server protocol on "
        "standard input and output. Errors and warnings are those of \"tzk-run --check\"; "
        "completion, hover, definitions, references and the test case outline come with them."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(app);
    TDeviceTypes types;
    RegisterDeviceFamilies(types);

    TLspServer server(TReferenceIndex::BuiltIn(), types, Send);
    TLspFraming framing;
    char aChunk[64 * 1024];
    while (!server.ExitRequested()) {
        // Diagnostics wait until the editor has nothing more to say: a burst of edits loads once.
        if (server.DiagnosticsPending() && !InputReady(0)) {
            server.Diagnose();
            continue;
        }
        if (!InputReady(1000)) {
            QCoreApplication::processEvents();
            continue;
        }
        const ssize_t iRead = ::read(STDIN_FILENO, aChunk, sizeof aChunk);
        if (iRead < 0 && errno == EINTR)
            continue;
        if (iRead <= 0)
            break; // the editor is gone
        framing.Append(QByteArray(aChunk, qsizetype(iRead)));
        QByteArray aBody;
        QString sError;
        for (;;) {
            const TLspFraming::EResult eResult = framing.Next(aBody, sError);
            if (eResult == TLspFraming::frNone)
                break;
            if (eResult == TLspFraming::frError)
                server.FramingError(sError);
            else
                server.Handle(aBody);
            if (server.ExitRequested())
                break;
        }
        QCoreApplication::processEvents();
    }
    return server.ExitRequested() ? server.ExitCode() : 1;
}
