// The test tree's view during a run: 200 test cases of 100 steps whose commands conclude at once,
// run with the view shown (under a virtual X display: xvfb-run), wall time per node. Without
// the view the same run costs what tzk_bench_runner reports.

#include "BenchRunnerHost.h"

#include "execution/DeviceList.h"
#include "execution/Job.h"
#include "execution/ProcessRunner.h"
#include "execution/TestTree.h"
#include "ui/TestTreeView.h"

#include <QApplication>

#include <benchmark/benchmark.h>

namespace {

void BM_TreeViewRunPerNode(benchmark::State& state)
{
    const int iCases = int(state.range(0));
    TBenchDevice device;
    TTestTree tree;
    TTestTreeView view;
    view.resize(400, 700);
    view.SetTree(&tree);
    TCommand* pCmd = device.AddCommand(QStringLiteral("S1"), std::make_unique<TInstantCmd>(&device));
    for (int c = 0; c < iCases; ++c) {
        TTreeNode* pCase =
            TJob::CreateNewJob(QStringLiteral("Case"), tree, nullptr, nullptr, ecNormalCase, true);
        for (int s = 0; s < 100; ++s)
            TJob::CreateNewJob(QStringLiteral("Step"), tree, pCase, pCmd, ecWorkCase, false);
    }
    view.ExpandDefault();
    view.show();
    QApplication::processEvents();
    TBenchRunnerHost host;
    TProcessRunner runner(tree, host, BenchContext());
    // Second argument 0: the view is never told a run is on, so every change shows at once, as
    // before the view caught up once per pass of the event loop.
    if (state.range(1) != 0)
        QObject::connect(&runner, &TProcessRunner::ActionsChanged, &view,
                         [&] { view.SetRunning(runner.Actions().Start.bChecked); });
    runner.AttachJobs();
    runner.SetProcessState(EProcessState::Ready);
    for (auto _ : state) {
        runner.Start();
        host.fLoop.exec();
    }
    state.counters["us_per_node"] =
        benchmark::Counter(double(tree.Count()) * double(state.iterations()) / 1e6,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_TreeViewRunPerNode)
    ->Args({200, 0})
    ->Args({200, 1})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
