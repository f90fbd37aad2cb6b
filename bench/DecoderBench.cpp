// Throughput of DecodeFormText, the streaming decoder and the standard
// decoder, each with every kind of instructions that FormScanner can choose
// here (the plain loops included), against a byte-at-a-time decoder that
// appends with += (the tests' reference decoder), on the same corpus: the
// generated one, or the file named after the benchmark's own options.
// Usage: bench_decoder [--benchmark_...] [CORPUS_FILE]
#include "FormCorpus.h"
#include "ReferenceDecoder.h"
#include "convert/DecodeFormText.h"
#include "convert/FormScanner.h"
#include "convert/FormStreamDecoder.h"
#include "convert/StandardFormDecoder.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace {
std::string g_corpus;

void setRate(benchmark::State& state)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(g_corpus.size()));
    state.counters["MB/s"] = benchmark::Counter(double(g_corpus.size()) / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

void byteAtATime(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(ReferenceDecode(g_corpus));
    setRate(state);
}

void decodeFormText(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodeFormText(g_corpus));
    setRate(state);
}

// Fed in pieces of 64 KiB, as formtidy-decode feeds it.
template <class Decoder> void decodeInPieces(benchmark::State& state)
{
    std::string out;
    for (auto _ : state) {
        Decoder decoder;
        const std::string_view text = g_corpus;
        for (std::size_t i = 0; i < text.size(); i += 65536) {
            out.clear();
            decoder.feed(text.substr(i, 65536), out);
        }
        decoder.finish(out);
        benchmark::DoNotOptimize(out);
    }
    setRate(state);
}

// Runs `body` with `target` chosen.
template <void (*body)(benchmark::State&)>
void withTarget(benchmark::State& state, FormScanner::Target target)
{
    const FormScanner::Scope scope(target);
    body(state);
}
} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (argc > 1) {
        std::ifstream file(argv[1], std::ios::binary);
        g_corpus.assign(std::istreambuf_iterator<char>(file), {});
        if (!file || g_corpus.empty()) {
            std::fprintf(stderr, "bench_decoder: cannot read %s\n", argv[1]);
            return 1;
        }
    } else {
        g_corpus = MakeFormCorpus(8 << 20);
    }
    benchmark::RegisterBenchmark("Baseline_ByteAtATime", byteAtATime)
        ->Unit(benchmark::kMillisecond);
    for (const FormScanner::Target target : FormScanner::targets()) {
        const std::string name = "/" + FormScanner::name(target);
        benchmark::RegisterBenchmark(("DecodeFormText" + name).c_str(), withTarget<decodeFormText>,
                                     target)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("StreamDecoder_64KiB" + name).c_str(),
                                     withTarget<decodeInPieces<FormStreamDecoder>>, target)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("StandardDecoder_64KiB" + name).c_str(),
                                     withTarget<decodeInPieces<StandardFormDecoder>>, target)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
