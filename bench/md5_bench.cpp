// Throughput of our MD5 engine, and of a whole file through ComputeFileDigest,
// in each block function this machine can run, each beside OpenSSL's MD5 on
// the same input in the same run, and the ratio. Then the multi-buffer engine
// on one core: 16 streams of 1 MiB through CMd5Lanes in each lane form, beside
// the same streams one after another in the chosen single-stream form.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "digest/file_digest.h"
#include "digest/md5.h"
#include "digest/md5_blocks.h"
#include "digest/md5_lanes.h"
#include "md5_forms.h"
#include "md5_lane_streams.h"
#include "bench_input.h"
#include "counting_job.h"
#include "openssl_md5.h"

namespace {

constexpr int kEngineRepetitions = 9;
constexpr int kFileRepetitions = 5;
const std::int64_t kEngineSizes[] = {16 << 10, 1 << 20};

void OursEngine(benchmark::State& state, Md5Form form)
{
    const auto data = BenchInput(static_cast<std::size_t>(state.range(0)));
    unsigned char digest[16];
    const Md5Form previous = ActiveMd5Form();
    UseMd5Form(form);
    for (auto _ : state) {
        CMD5Checksum md5;
        md5.Update(data.data(), static_cast<std::uint32_t>(data.size()));
        md5.Final(digest);
        benchmark::DoNotOptimize(digest);
    }
    UseMd5Form(previous);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void OpenSslEngine(benchmark::State& state)
{
    const auto data = BenchInput(static_cast<std::size_t>(state.range(0)));
    unsigned char digest[16];
    for (auto _ : state) {
        OpenSslDigest(data.data(), data.size(), digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

constexpr std::size_t kStreams = 16;
constexpr std::size_t kStreamSize = std::size_t{1} << 20;

void OursLanes(benchmark::State& state, Md5LaneForm form)
{
    const auto data = BenchInput(kStreams * kStreamSize);
    unsigned char digest[16];
    CMd5Lanes lanes(form);
    for (auto _ : state) {
        DigestStreamsInLanes(lanes, data.data(), kStreams, kStreamSize, digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

void OursStreams(benchmark::State& state)
{
    const auto data = BenchInput(kStreams * kStreamSize);
    unsigned char digest[16];
    const Md5Form previous = ActiveMd5Form();
    UseMd5Form(FastestMd5Form());
    for (auto _ : state) {
        DigestStreamsInTurn(data.data(), kStreams, kStreamSize, digest);
        benchmark::DoNotOptimize(digest);
    }
    UseMd5Form(previous);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

constexpr std::int64_t kFileSize = 256 << 20;

std::filesystem::path BenchFilePath()
{
    return std::filesystem::temp_directory_path() / "korvane-bench.bin";
}

const std::string& BenchFile()
{
    static const std::string path = [] {
        const auto file = BenchFilePath();
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        const auto block = BenchInput(1 << 20);
        for (std::int64_t i = 0; i < kFileSize >> 20; ++i)
            out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size()));
        return file.string();
    }();
    return path;
}

void OursFile(benchmark::State& state, Md5Form form)
{
    CountingJob job;
    const Md5Form previous = ActiveMd5Form();
    UseMd5Form(form);
    for (auto _ : state) {
        job.m_doneBytes = 0;
        job.m_totalBytes = kFileSize;
        benchmark::DoNotOptimize(ComputeFileDigest(BenchFile().c_str()));
    }
    UseMd5Form(previous);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kFileSize);
}

void OpenSslFile(benchmark::State& state)
{
    std::vector<unsigned char> block(1 << 20);
    unsigned char digest[MD5_DIGEST_LENGTH];
    for (auto _ : state) {
        std::FILE* file = std::fopen(BenchFile().c_str(), "rb");
        MD5_CTX context;
        MD5_Init(&context);
        std::size_t got = 0;
        while ((got = std::fread(block.data(), 1, block.size(), file)) > 0)
            MD5_Update(&context, block.data(), got);
        MD5_Final(digest, &context);
        std::fclose(file);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kFileSize);
}

// A figure of the summary: our benchmark and the reference's, by name.
struct Pair {
    std::string figure;
    std::string ours;
    std::string reference;
};

// Prints the usual table, then for each pair the medians of ours and of the
// reference in MB/s and their ratio: one line per figure, "figure ours
// reference ratio", which scripts/bench reads.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    explicit RatioReporter(std::vector<Pair> pairs) : m_pairs(std::move(pairs)) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "median")
                continue;
            const auto rate = run.counters.find("bytes_per_second");
            if (rate != run.counters.end())
                m_rates[run.run_name.str().substr(0, run.run_name.str().find("/repeats:"))] = rate->second.value;
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n%-28s %12s %14s %8s\n", "figure", "ours MB/s", "reference MB/s", "ratio");
        for (const Pair& pair : m_pairs) {
            const auto ours = m_rates.find(pair.ours);
            const auto reference = m_rates.find(pair.reference);
            if (ours == m_rates.end() || reference == m_rates.end())
                continue;
            std::printf("%-28s %12.1f %14.1f %8.3f\n", pair.figure.c_str(), ours->second / 1e6,
                        reference->second / 1e6, ours->second / reference->second);
        }
    }

private:
    std::vector<Pair> m_pairs;
    std::map<std::string, double> m_rates;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    PrintMd5Forms();
    PrintMd5LaneForms();

    std::vector<Pair> pairs;
    // Each benchmark repeated, reported as its aggregates (the median is read).
    const auto repeated = [](benchmark::internal::Benchmark* benchmark, int repetitions) {
        benchmark->Repetitions(repetitions)->ReportAggregatesOnly(true);
    };

    for (const std::int64_t size : kEngineSizes)
        repeated(benchmark::RegisterBenchmark("OpenSslEngine", OpenSslEngine)->Arg(size), kEngineRepetitions);
    repeated(benchmark::RegisterBenchmark("OpenSslFile", OpenSslFile)->Unit(benchmark::kMillisecond),
             kFileRepetitions);
    for (const Md5Form form : SupportedMd5Forms()) {
        const std::string engine = std::string("OursEngine/") + Md5FormName(form);
        for (const std::int64_t size : kEngineSizes) {
            repeated(benchmark::RegisterBenchmark(engine.c_str(), OursEngine, form)->Arg(size), kEngineRepetitions);
            pairs.push_back({std::string("engine/") + Md5FormName(form) + "/" + SizeName(static_cast<std::size_t>(size)),
                             engine + "/" + std::to_string(size), "OpenSslEngine/" + std::to_string(size)});
        }
        const std::string file = std::string("OursFile/") + Md5FormName(form);
        repeated(benchmark::RegisterBenchmark(file.c_str(), OursFile, form)->Unit(benchmark::kMillisecond),
                 kFileRepetitions);
        pairs.push_back({std::string("file/") + Md5FormName(form) + "/" + SizeName(static_cast<std::size_t>(kFileSize)),
                         file, "OpenSslFile"});
    }

    // The lane forms against the chosen single-stream form on the same
    // streams, and that against OpenSSL on a message as long as one of them.
    const std::string streams = std::to_string(kStreams) + "x" + SizeName(kStreamSize);
    const std::string inTurn = "OursStreams/" + streams;
    repeated(benchmark::RegisterBenchmark(inTurn.c_str(), OursStreams), kEngineRepetitions);
    pairs.push_back({"streams/chosen/" + streams, inTurn, "OpenSslEngine/" + std::to_string(kStreamSize)});
    for (const Md5LaneForm form : SupportedMd5LaneForms()) {
        const std::string lanes = std::string("OursLanes/") + Md5LaneFormName(form);
        repeated(benchmark::RegisterBenchmark(lanes.c_str(), OursLanes, form), kEngineRepetitions);
        pairs.push_back({std::string("lanes/") + Md5LaneFormName(form) + "/" + streams, lanes, inTurn});
    }

    RatioReporter reporter(std::move(pairs));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove(BenchFilePath(), ignored);
    return 0;
}
