// The choice of the block function in use: the fastest this machine runs, by
// measurement.
//
// Which form is fastest is a property of the processor, not of its instruction
// set: the AVX-512 form is about a fifth faster than the scalar one on some
// processors that have AVX-512, and a sixth slower on others. So every
// supported form is timed once per process, on first use, and the fastest
// stays in use.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>
#include <vector>

#include "digest/cpu_features.h"
#include "digest/md5_blocks.h"

namespace {

// Each round times every candidate once, on some tens of microseconds of work;
// the candidates take turns, so that a change of clock speed or an
// interruption touches them alike, and each keeps its best round. The first
// round only warms up caches and clocks. The whole choice of the single-stream
// form takes a fraction of a millisecond.
constexpr int kWarmUpRounds = 1;
constexpr int kTimedRounds = 8;

std::atomic<Md5BlockFunction>& ActiveBlocks()
{
    // The initialisation of a local static is thread-safe: the first caller
    // times the forms, any other waits for the result. Tests and benchmarks
    // may change it later through UseMd5Form.
    static std::atomic<Md5BlockFunction> active{Md5BlocksOf(FastestMd5Form())};
    return active;
}

}  // namespace

Md5BlockFunction Md5BlocksOf(Md5Form form)
{
#ifdef KORVANE_MD5_AVX512_FORM
    if (form == Md5Form::Avx512)
        return Md5BlocksAvx512;
#endif
    (void)form;
    return Md5BlocksScalar;
}

const char* Md5FormName(Md5Form form)
{
    return form == Md5Form::Scalar ? "scalar" : "avx512";
}

bool Md5FormSupported(Md5Form form)
{
    // Asked once: cpuid is slow, and slower still in a virtual machine.
    static const bool avx512 = CpuRunsAvx512Vl();
    return form == Md5Form::Scalar || (form == Md5Form::Avx512 && avx512);
}

std::vector<Md5Form> SupportedMd5Forms()
{
    std::vector<Md5Form> forms;
    for (const Md5Form form : {Md5Form::Scalar, Md5Form::Avx512}) {
        if (Md5FormSupported(form))
            forms.push_back(form);
    }
    return forms;
}

void TimeMd5Trials(Md5Trial trial, void* context, std::size_t count, double fastest[])
{
    using Clock = std::chrono::steady_clock;
    for (std::size_t i = 0; i < count; ++i)
        fastest[i] = std::numeric_limits<double>::infinity();
    for (int round = 0; round < kWarmUpRounds + kTimedRounds; ++round) {
        for (std::size_t i = 0; i < count; ++i) {
            const Clock::time_point start = Clock::now();
            trial(context, i);
            const double took = std::chrono::duration<double>(Clock::now() - start).count();
            if (round >= kWarmUpRounds && took < fastest[i])
                fastest[i] = took;
        }
    }
}

void FillMd5Sample(unsigned char* sample, std::size_t size)
{
    std::uint32_t x = 1321;
    for (std::size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        sample[i] = static_cast<unsigned char>(x >> 24);
    }
}

std::size_t FastestMd5Blocks(const Md5BlockFunction* forms, std::size_t count, const unsigned char* sample,
                             std::size_t blocks)
{
    struct Trial {
        const Md5BlockFunction* forms;
        const unsigned char* sample;
        std::size_t blocks;
        std::uint32_t state[4];
    } trial{forms, sample, blocks, {}};
    std::vector<double> fastest(count);
    TimeMd5Trials(
        [](void* context, std::size_t i) {
            auto& t = *static_cast<Trial*>(context);
            t.forms[i](t.state, t.sample, t.blocks);
        },
        &trial, count, fastest.data());
    std::size_t best = 0;
    for (std::size_t i = 1; i < count; ++i) {
        if (fastest[i] < fastest[best])
            best = i;
    }
    return best;
}

Md5Form FastestMd5Form()
{
    // The first caller times the forms on a sample of its own; any other
    // waits for the result.
    static const Md5Form fastest = [] {
        std::vector<unsigned char> sample(kMd5SampleBlocks * 64);
        FillMd5Sample(sample.data(), sample.size());
        const std::vector<Md5Form> forms = SupportedMd5Forms();
        std::vector<Md5BlockFunction> functions;
        for (const Md5Form form : forms)
            functions.push_back(Md5BlocksOf(form));
        return forms[FastestMd5Blocks(functions.data(), functions.size(), sample.data(), kMd5SampleBlocks)];
    }();
    return fastest;
}

Md5BlockFunction ActiveMd5Blocks()
{
    return ActiveBlocks().load(std::memory_order_relaxed);
}

Md5Form ActiveMd5Form()
{
    return ActiveMd5Blocks() == Md5BlocksScalar ? Md5Form::Scalar : Md5Form::Avx512;
}

bool UseMd5Form(Md5Form form)
{
    if (!Md5FormSupported(form))
        return false;
    ActiveBlocks().store(Md5BlocksOf(form), std::memory_order_relaxed);
    return true;
}
