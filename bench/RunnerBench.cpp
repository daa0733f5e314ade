// Overhead of the process runner per node: a flat tree whose commands conclude at once, run
// headless from Start to the final dialog.

#include "BenchRunnerHost.h"

#include "core/MsgClasses.h"
#include "execution/DeviceList.h"
#include "execution/Job.h"
#include "execution/ProcessRunner.h"
#include "execution/RunnerHost.h"
#include "execution/TestTree.h"

#include <QEventLoop>

#include <benchmark/benchmark.h>

#include <malloc.h>

namespace {

// A host that answers everything at once and ends the event loop at the final dialog.
void BuildTree(TTestTree& aTree, TBenchDevice& aDevice, int iNodes)
{
    TCommand* pCmd = aDevice.AddCommand(QStringLiteral("S1"), std::make_unique<TInstantCmd>(&aDevice));
    for (int i = 0; i < iNodes; ++i)
        TJob::CreateNewJob(QStringLiteral("Step"), aTree, nullptr, pCmd, ecWorkCase, false);
}

void BM_RunnerPerNode(benchmark::State& state)
{
    const int iNodes = int(state.range(0));
    TBenchDevice device;
    TTestTree tree;
    BuildTree(tree, device, iNodes);
    TBenchRunnerHost host;
    TProcessRunner runner(tree, host, BenchContext());
    runner.AttachJobs();
    runner.SetProcessState(EProcessState::Ready);
    for (auto _ : state) {
        runner.Start();
        host.fLoop.exec();
    }
    state.counters["ns_per_node"] =
        benchmark::Counter(double(iNodes) * double(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RunnerPerNode)->Arg(100000)->Unit(benchmark::kMillisecond);

// Memory of the tree per node, beyond the label text (the label shares one text here).
void BM_TreeMemoryPerNode(benchmark::State& state)
{
    const int iNodes = int(state.range(0));
    for (auto _ : state) {
        TBenchDevice device;
        const std::size_t before = mallinfo2().uordblks;
        TTestTree tree;
        BuildTree(tree, device, iNodes);
        const std::size_t after = mallinfo2().uordblks;
        // Number texts ("12345. ") are part of every node's text; count them out.
        std::size_t labels = 0;
        for (int i = 0; i < tree.Count(); ++i)
            labels += std::size_t(tree.Node(i)->Text().capacity()) * sizeof(QChar) + 16;
        state.counters["bytes_per_node"] = double(after - before - labels) / iNodes;
    }
}
BENCHMARK(BM_TreeMemoryPerNode)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
