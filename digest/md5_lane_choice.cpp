// The choice of the lane form in use and of each form's break-even, by
// measurement.
//
// A wider form need not be faster per byte: a processor that splits 256- or
// 512-bit operations into halves, or lowers its clock for them, gives the
// extra lanes little or nothing. Nor need any lane form beat the single-stream
// form when few lanes hold blocks, as a lane form pays for all its lanes on
// every call. So every supported form is timed, beside the single-stream form
// in turns on one sample, once per process, and each form's words are checked
// against the single-stream form's on that sample before it may be chosen:
// the AVX-512 form, for one, runs only on processors that the tests may never
// have seen.
#include <atomic>
#include <cstdint>
#include <vector>

#include "digest/cpu_features.h"
#include "digest/md5_lane_forms.h"

namespace {

constexpr std::size_t kFormCount = 3;

std::size_t IndexOf(Md5LaneForm form)
{
    return static_cast<std::size_t>(form);
}

// Whether candidate's words, from a start that differs from lane to lane,
// equal those of the scalar form run on each lane's blocks in turn.
bool AgreesWithScalar(const Md5LaneCandidate& candidate, const unsigned char* const lanes[], std::size_t blocks)
{
    Md5LaneWords start;
    for (std::uint32_t lane = 0; lane < kMd5MaxLanes; ++lane) {
        start.a[lane] = 0x67452301u + lane * 0x9e3779b9u;
        start.b[lane] = 0xefcdab89u ^ lane * 0x85ebca6bu;
        start.c[lane] = 0x98badcfeu + lane * 0xc2b2ae35u;
        start.d[lane] = 0x10325476u ^ lane * 0x27d4eb2fu;
    }
    Md5LaneWords words = start;
    candidate.function(words, lanes, blocks);
    for (std::size_t lane = 0; lane < candidate.lanes; ++lane) {
        std::uint32_t state[4] = {start.a[lane], start.b[lane], start.c[lane], start.d[lane]};
        Md5BlocksScalar(state, lanes[lane], blocks);
        if (state[0] != words.a[lane] || state[1] != words.b[lane] || state[2] != words.c[lane] ||
            state[3] != words.d[lane])
            return false;
    }
    return true;
}

struct LaneChoice {
    Md5LaneForm fastest = Md5LaneForm::Sse2;
    std::size_t breakEven[kFormCount] = {kMd5NeverBreaksEven, kMd5NeverBreaksEven, kMd5NeverBreaksEven};
};

const LaneChoice& TheLaneChoice()
{
    // The initialisation of a local static is thread-safe: the first caller
    // times the forms, on a sample of its own, and any other waits for the
    // result.
    static const LaneChoice choice = [] {
        LaneChoice result;
        const std::vector<Md5LaneForm> forms = SupportedMd5LaneForms();
        if (forms.empty())
            return result;
        std::vector<Md5LaneCandidate> candidates;
        for (const Md5LaneForm form : forms)
            candidates.push_back({Md5LanesOf(form), Md5LaneCount(form)});
        std::vector<unsigned char> sample((kMd5SampleBlocks + kMd5MaxLanes - 1) * 64);
        FillMd5Sample(sample.data(), sample.size());
        std::vector<std::size_t> breakEven(forms.size());
        const std::size_t fastest = FastestMd5Lanes(candidates.data(), candidates.size(),
                                                    Md5BlocksOf(FastestMd5Form()), sample.data(),
                                                    kMd5SampleBlocks, breakEven.data());
        for (std::size_t i = 0; i < forms.size(); ++i)
            result.breakEven[IndexOf(forms[i])] = breakEven[i];
        if (fastest < forms.size())
            result.fastest = forms[fastest];
        return result;
    }();
    return choice;
}

std::atomic<Md5LaneForm>& ActiveForm()
{
    static std::atomic<Md5LaneForm> active{FastestMd5LaneForm()};
    return active;
}

}  // namespace

const char* Md5LaneFormName(Md5LaneForm form)
{
    const char* const names[kFormCount] = {"sse2", "avx2", "avx512"};
    return names[IndexOf(form)];
}

std::size_t Md5LaneCount(Md5LaneForm form)
{
    return std::size_t{4} << IndexOf(form);
}

bool Md5LaneFormSupported(Md5LaneForm form)
{
#ifdef KORVANE_MD5_LANE_FORMS
    // Asked once: cpuid is slow, and slower still in a virtual machine.
    static const bool avx2 = CpuRunsAvx2();
    static const bool avx512 = CpuRunsAvx512Vl();
    return form == Md5LaneForm::Sse2 || (form == Md5LaneForm::Avx2 && avx2) ||
           (form == Md5LaneForm::Avx512 && avx512);
#else
    (void)form;
    return false;
#endif
}

std::vector<Md5LaneForm> SupportedMd5LaneForms()
{
    std::vector<Md5LaneForm> forms;
    for (const Md5LaneForm form : {Md5LaneForm::Sse2, Md5LaneForm::Avx2, Md5LaneForm::Avx512}) {
        if (Md5LaneFormSupported(form))
            forms.push_back(form);
    }
    return forms;
}

Md5LaneFunction Md5LanesOf(Md5LaneForm form)
{
#ifdef KORVANE_MD5_LANE_FORMS
    const Md5LaneFunction functions[kFormCount] = {Md5LanesSse2, Md5LanesAvx2, Md5LanesAvx512};
    return functions[IndexOf(form)];
#else
    (void)form;
    return nullptr;
#endif
}

std::size_t FastestMd5Lanes(const Md5LaneCandidate* candidates, std::size_t count, Md5BlockFunction single,
                            const unsigned char* sample, std::size_t blocks, std::size_t breakEven[])
{
    // Trial 0 is the single-stream form on one lane's blocks, trial i + 1
    // candidate i on each of its lanes' blocks.
    struct Trial {
        const Md5LaneCandidate* candidates;
        Md5BlockFunction single;
        std::size_t blocks;
        const unsigned char* lanes[kMd5MaxLanes];
        Md5LaneWords words;
        std::uint32_t state[4];
    } trial{candidates, single, blocks, {}, {}, {}};
    for (std::size_t lane = 0; lane < kMd5MaxLanes; ++lane)
        trial.lanes[lane] = sample + 64 * lane;
    std::vector<double> fastest(count + 1);
    TimeMd5Trials(
        [](void* context, std::size_t i) {
            auto& t = *static_cast<Trial*>(context);
            if (i == 0)
                t.single(t.state, t.lanes[0], t.blocks);
            else
                t.candidates[i - 1].function(t.words, t.lanes, t.blocks);
        },
        &trial, count + 1, fastest.data());

    std::size_t best = count;
    for (std::size_t i = 0; i < count; ++i) {
        const Md5LaneCandidate& candidate = candidates[i];
        // With k lanes holding blocks the candidate costs one call, the
        // single-stream form k: the candidate wins from the first k above
        // their ratio.
        const double ratio = fastest[i + 1] / fastest[0];
        const bool agrees = AgreesWithScalar(candidate, trial.lanes, blocks);
        breakEven[i] = agrees && ratio < static_cast<double>(candidate.lanes) ? static_cast<std::size_t>(ratio) + 1
                                                                              : kMd5NeverBreaksEven;
        if (agrees && (best == count || static_cast<double>(candidate.lanes) / fastest[i + 1] >
                                            static_cast<double>(candidates[best].lanes) / fastest[best + 1]))
            best = i;
    }
    return best;
}

Md5LaneForm FastestMd5LaneForm()
{
    return TheLaneChoice().fastest;
}

std::size_t Md5LaneBreakEven(Md5LaneForm form)
{
    return TheLaneChoice().breakEven[IndexOf(form)];
}

Md5LaneForm ActiveMd5LaneForm()
{
    return ActiveForm().load(std::memory_order_relaxed);
}

bool UseMd5LaneForm(Md5LaneForm form)
{
    if (!Md5LaneFormSupported(form))
        return false;
    ActiveForm().store(form, std::memory_order_relaxed);
    return true;
}
