// Throughput of our MD5 engine and of a whole file through ComputeFileDigest,
// each beside OpenSSL's MD5 on the same input in the same run, and the ratio.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "digest/file_digest.h"
#include "digest/md5.h"
#include "job/job_state.h"

namespace {

std::vector<unsigned char> Input(std::size_t size)
{
    std::vector<unsigned char> data(size);
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<unsigned char>(i * 131 + 7);
    return data;
}

void OursEngine(benchmark::State& state)
{
    const auto data = Input(static_cast<std::size_t>(state.range(0)));
    unsigned char digest[16];
    for (auto _ : state) {
        CMD5Checksum md5;
        md5.Update(data.data(), static_cast<std::uint32_t>(data.size()));
        md5.Final(digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void OpenSslEngine(benchmark::State& state)
{
    const auto data = Input(static_cast<std::size_t>(state.range(0)));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    for (auto _ : state) {
        EVP_DigestInit_ex(context, EVP_md5(), nullptr);
        EVP_DigestUpdate(context, data.data(), data.size());
        EVP_DigestFinal_ex(context, digest, &length);
        benchmark::DoNotOptimize(digest);
    }
    EVP_MD_CTX_free(context);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

// Sinks that only count, as cheap as a dialog that sends nothing.
class CountingJob : public IProgressSink, public IResultSink, public CJobState {
public:
    CountingJob() : CJobState(*this, *this) {}
    void SetPos(int position) override { m_last = position; }
    void SetResultText(const std::string&) override {}
    int m_last = 0;
};

constexpr std::int64_t kFileSize = 256 << 20;

const std::string& BenchFile()
{
    static const std::string path = [] {
        const auto file = std::filesystem::temp_directory_path() / "korvane-bench.bin";
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        const auto block = Input(1 << 20);
        for (std::int64_t i = 0; i < kFileSize >> 20; ++i)
            out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size()));
        return file.string();
    }();
    return path;
}

void OursFile(benchmark::State& state)
{
    CountingJob job;
    for (auto _ : state) {
        job.m_doneBytes = 0;
        job.m_totalBytes = kFileSize;
        benchmark::DoNotOptimize(ComputeFileDigest(BenchFile().c_str()));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kFileSize);
}

void OpenSslFile(benchmark::State& state)
{
    std::vector<unsigned char> block(1 << 20);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    for (auto _ : state) {
        std::FILE* file = std::fopen(BenchFile().c_str(), "rb");
        EVP_DigestInit_ex(context, EVP_md5(), nullptr);
        std::size_t got = 0;
        while ((got = std::fread(block.data(), 1, block.size(), file)) > 0)
            EVP_DigestUpdate(context, block.data(), got);
        EVP_DigestFinal_ex(context, digest, &length);
        std::fclose(file);
        benchmark::DoNotOptimize(digest);
    }
    EVP_MD_CTX_free(context);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kFileSize);
}

// Prints the usual table, then ours against OpenSSL's for each input.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median")
                continue;
            const auto rate = run.counters.find("bytes_per_second");
            if (rate == run.counters.end())
                continue;
            std::string name = run.run_name.function_name;
            if (!run.run_name.args.empty())
                name += "/" + run.run_name.args;
            m_rates[name] = rate->second.value;
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n%-20s %12s %14s %8s\n", "input", "ours MB/s", "OpenSSL MB/s", "ratio");
        for (const auto& [name, rate] : m_rates) {
            const auto at = name.find("Ours");
            if (at == std::string::npos)
                continue;
            std::string reference = name;
            reference.replace(at, 4, "OpenSsl");
            const auto other = m_rates.find(reference);
            if (other == m_rates.end())
                continue;
            std::printf("%-20s %12.1f %14.1f %8.3f\n", name.c_str(), rate / 1e6, other->second / 1e6,
                        rate / other->second);
        }
    }

private:
    std::map<std::string, double> m_rates;
};

}  // namespace

BENCHMARK(OursEngine)->Arg(16 << 10)->Arg(1 << 20)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(OpenSslEngine)->Arg(16 << 10)->Arg(1 << 20)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(OursFile)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(OpenSslFile)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::temp_directory_path() / "korvane-bench.bin", ignored);
    return 0;
}
