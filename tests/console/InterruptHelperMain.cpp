// A headless run of two cases whose functions wait until they are stopped: "Wait" and the final
// case "Final". Prints "waiting <node>" when a function starts waiting, so that a test knows when
// to send its signals.

#include "ConsoleTestSupport.h"
#include "TestContext.h"

#include "console/ConsoleLogPrinter.h"
#include "console/ConsoleRun.h"
#include "console/InterruptHandler.h"
#include "console/OperatorAnswers.h"
#include "console/RunCommandLine.h"
#include "core/MsgClasses.h"
#include "core/MsgLog.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    int iStatus = 0;
    {
        TMsgLog log;
        TConsoleLogPrinter printer(log, out);
        log.Attach();

        TTreeBuilder builder;
        for (const auto& [sCase, eType] : {std::pair{QStringLiteral("Wait"), ecNormalCase},
                                           std::pair{QStringLiteral("Final"), ecFinalCase}}) {
            TTreeNode* pCase = builder.Case(nullptr, sCase, eType);
            TTreeNode* pWork = builder.Waiting(pCase, QStringLiteral("forever"));
            builder.CmdOf(pWork)->fOnExecute = [&out, pWork] {
                out << "waiting " << pWork->Text() << Qt::endl;
            };
        }

        TOperatorAnswers answers;
        TInterruptHandler interrupt;
        TRunOptions options;
        options.sOperator = QStringLiteral("op");
        TRunContext context{out, answers, &log, nullptr, &interrupt, QString()};
        context.pDevices = &TestContext();
        iStatus = RunProcess(builder.fTree, options, context);
        log.Detach();
    }
    TMsgClass::ReleaseSingleton();
    return iStatus;
}
