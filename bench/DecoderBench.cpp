// Throughput of DecodeFormText against a byte-at-a-time decoder that appends
// with += (the tests' reference decoder), on the same generated corpus.
#include "FormCorpus.h"
#include "ReferenceDecoder.h"
#include "convert/DecodeFormText.h"
#include "convert/FormStreamDecoder.h"

#include <benchmark/benchmark.h>

namespace {
const std::string& corpus()
{
    static const std::string text = MakeFormCorpus(8 << 20);
    return text;
}

void setRate(benchmark::State& state)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(corpus().size()));
    state.counters["MB/s"] = benchmark::Counter(double(corpus().size()) / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Baseline_ByteAtATime(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(ReferenceDecode(corpus()));
    setRate(state);
}

void BM_DecodeFormText(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodeFormText(corpus()));
    setRate(state);
}

void BM_StreamDecoder_64KiB(benchmark::State& state)
{
    std::string out;
    for (auto _ : state) {
        FormStreamDecoder decoder;
        const std::string_view text = corpus();
        for (std::size_t i = 0; i < text.size(); i += 65536) {
            out.clear();
            decoder.feed(text.substr(i, 65536), out);
        }
        decoder.finish(out);
        benchmark::DoNotOptimize(out);
    }
    setRate(state);
}
} // namespace

BENCHMARK(BM_Baseline_ByteAtATime)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeFormText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StreamDecoder_64KiB)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
