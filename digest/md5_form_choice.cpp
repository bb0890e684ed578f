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
#include <vector>

#include "digest/cpu_features.h"
#include "digest/md5_blocks.h"

namespace {

// Each try digests kSampleBlocks blocks, some tens of microseconds; the forms
// take turns, so a change of clock speed or an interruption touches them
// alike, and each keeps its best try. The whole choice takes a fraction of a
// millisecond.
constexpr std::size_t kSampleBlocks = 128;
constexpr int kTries = 8;

Md5BlockFunction BlocksOf(Md5Form form)
{
#ifdef KORVANE_MD5_AVX512_FORM
    if (form == Md5Form::Avx512)
        return Md5BlocksAvx512;
#endif
    (void)form;
    return Md5BlocksScalar;
}

std::atomic<Md5BlockFunction>& ActiveBlocks()
{
    // The initialisation of a local static is thread-safe: the first caller
    // times the forms, any other waits for the result. Tests and benchmarks
    // may change it later through UseMd5Form.
    static std::atomic<Md5BlockFunction> active{BlocksOf(FastestMd5Form())};
    return active;
}

}  // namespace

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

std::size_t FastestMd5Blocks(const Md5BlockFunction* forms, std::size_t count)
{
    static unsigned char sample[kSampleBlocks * 64];
    for (std::size_t i = 0; i < sizeof sample; ++i)
        sample[i] = static_cast<unsigned char>(i * 131 + 7);

    using Clock = std::chrono::steady_clock;
    std::vector<Clock::duration> best(count, Clock::duration::max());
    std::uint32_t state[4] = {};
    for (int attempt = 0; attempt <= kTries; ++attempt) {
        for (std::size_t i = 0; i < count; ++i) {
            const Clock::time_point start = Clock::now();
            forms[i](state, sample, kSampleBlocks);
            const Clock::duration took = Clock::now() - start;
            if (attempt > 0 && took < best[i])  // the first round only warms up
                best[i] = took;
        }
    }
    std::size_t fastest = 0;
    for (std::size_t i = 1; i < count; ++i) {
        if (best[i] < best[fastest])
            fastest = i;
    }
    return fastest;
}

Md5Form FastestMd5Form()
{
    static const Md5Form fastest = [] {
        const std::vector<Md5Form> forms = SupportedMd5Forms();
        std::vector<Md5BlockFunction> functions;
        for (const Md5Form form : forms)
            functions.push_back(BlocksOf(form));
        return forms[FastestMd5Blocks(functions.data(), functions.size())];
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
    ActiveBlocks().store(BlocksOf(form), std::memory_order_relaxed);
    return true;
}
