// Throughput of an MD5 implementation on inputs of 16 KiB and 1 MiB, timed by
// the program itself: the Windows build has no benchmark library.
//
// One source, two programs, so that both sides are measured the same way:
// - built for Windows (the win32 or win64 preset), it measures our engine in each block
//   function the machine can run, and the multi-buffer engine on one core: 16
//   streams of 1 MiB through CMd5Lanes in each lane form the machine can run,
//   and the same streams one after another in the chosen single-stream form;
// - built with KORVANE_BENCH_OPENSSL as a Linux program of the same width, it
//   measures OpenSSL's MD5 of that width, the reference for the first on the
//   same processor.
//
// Each figure is the median of kRuns runs of about kRunSeconds each; the runs
// of the figures take turns, so that a change in the machine's load touches
// them all alike. Output: one line per figure, "<figure> <MB/s>"; our engine's
// program first says which forms the machine supports and which one the
// engine chose: "forms <form>...", "chosen <form>", and the same for the lane
// forms: "forms-lanes <form>...", "chosen-lanes <form> <break-even>".
//
// Our engine's program with --chosen times the chosen form on 1 MiB alone, in
// about a second ("engine/chosen/1MiB <MB/s>"), for a figure taken between
// others.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bench_input.h"

#ifdef KORVANE_BENCH_OPENSSL
#include "openssl_md5.h"
#else
#include "digest/md5.h"
#include "digest/md5_blocks.h"
#include "digest/md5_lanes.h"
#include "md5_forms.h"
#include "md5_lane_streams.h"
#endif

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <chrono>
#endif

namespace {

constexpr int kRuns = 9;
constexpr double kRunSeconds = 0.2;

double Seconds()
{
#ifdef _WIN32
    static const double tick = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return 1.0 / static_cast<double>(frequency.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * tick;
#else
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
#endif
}

// The digest of one whole message, as a caller would compute it.
using DigestFunction = std::function<void(const std::vector<unsigned char>&, unsigned char[16])>;

struct Figure {
    Figure(std::string figureName, DigestFunction function, std::size_t size)
        : name(std::move(figureName)), digest(std::move(function)), input(BenchInput(size))
    {
    }

    std::string name;
    DigestFunction digest;
    std::vector<unsigned char> input;
    long repeats = 1;  // messages per run
    std::vector<double> rates;  // MB/s, one per run
};

#ifndef KORVANE_BENCH_OPENSSL
// Our engine in form, on one whole message.
DigestFunction EngineDigest(Md5Form form)
{
    return [form](const std::vector<unsigned char>& data, unsigned char digest[16]) {
        UseMd5Form(form);
        CMD5Checksum md5;
        md5.Update(data.data(), static_cast<std::uint32_t>(data.size()));
        md5.Final(digest);
    };
}

constexpr std::size_t kStreams = 16;

// kStreams streams, one after another in the input, through CMd5Lanes in form.
DigestFunction LanesDigest(Md5LaneForm form)
{
    return [form](const std::vector<unsigned char>& data, unsigned char digest[16]) {
        CMd5Lanes lanes(form);
        DigestStreamsInLanes(lanes, data.data(), kStreams, data.size() / kStreams, digest);
    };
}

// The same streams one after another in the chosen single-stream form.
DigestFunction StreamsDigest()
{
    return [](const std::vector<unsigned char>& data, unsigned char digest[16]) {
        UseMd5Form(FastestMd5Form());
        DigestStreamsInTurn(data.data(), kStreams, data.size() / kStreams, digest);
    };
}
#endif

std::vector<Figure> Figures(bool chosenOnly)
{
    std::vector<Figure> figures;
#ifndef KORVANE_BENCH_OPENSSL
    if (chosenOnly) {
        figures.emplace_back("engine/chosen/1MiB", EngineDigest(FastestMd5Form()), std::size_t{1} << 20);
        return figures;
    }
#endif
    (void)chosenOnly;
    for (const std::size_t size : {std::size_t{16} << 10, std::size_t{1} << 20}) {
#ifdef KORVANE_BENCH_OPENSSL
        figures.emplace_back(
            "openssl/" + SizeName(size),
            [](const std::vector<unsigned char>& data, unsigned char digest[16]) {
                OpenSslDigest(data.data(), data.size(), digest);
            },
            size);
#else
        for (const Md5Form form : SupportedMd5Forms()) {
            figures.emplace_back(std::string("engine/") + Md5FormName(form) + "/" + SizeName(size), EngineDigest(form),
                                 size);
        }
#endif
    }
#ifndef KORVANE_BENCH_OPENSSL
    const std::size_t streams = kStreams << 20;
    const std::string name = std::to_string(kStreams) + "x1MiB";
    figures.emplace_back("streams/chosen/" + name, StreamsDigest(), streams);
    for (const Md5LaneForm form : SupportedMd5LaneForms())
        figures.emplace_back(std::string("lanes/") + Md5LaneFormName(form) + "/" + name, LanesDigest(form), streams);
#endif
    return figures;
}

// Hashes the figure's message repeats times; returns the seconds taken.
double Run(Figure& figure, unsigned char digest[16])
{
    const double start = Seconds();
    for (long i = 0; i < figure.repeats; ++i)
        figure.digest(figure.input, digest);
    return Seconds() - start;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool chosenOnly = argc == 2 && std::string(argv[1]) == "--chosen";
    const int runs = chosenOnly ? 5 : kRuns;
#ifndef KORVANE_BENCH_OPENSSL
    if (!chosenOnly) {
        PrintMd5Forms();
        PrintMd5LaneForms();
    }
#endif
    std::vector<Figure> figures = Figures(chosenOnly);
    unsigned char digest[16] = {};
    for (Figure& figure : figures) {
        // Warm up, then size a run to about kRunSeconds.
        double seconds = 0;
        for (figure.repeats = 1; (seconds = Run(figure, digest)) < kRunSeconds / 8; figure.repeats *= 2) {
        }
        figure.repeats = std::max(1L, static_cast<long>(static_cast<double>(figure.repeats) * kRunSeconds / seconds));
    }
    for (int run = 0; run < runs; ++run) {
        for (Figure& figure : figures) {
            const double seconds = Run(figure, digest);
            figure.rates.push_back(static_cast<double>(figure.input.size()) * static_cast<double>(figure.repeats) /
                                   seconds / 1e6);
        }
    }
    for (Figure& figure : figures) {
        std::sort(figure.rates.begin(), figure.rates.end());
        std::printf("%s %.1f\n", figure.name.c_str(), figure.rates[figure.rates.size() / 2]);
    }
    return 0;
}
