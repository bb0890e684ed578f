// Processor and operating-system checks, through cpuid and the XCR0 register.
//
// This file is compiled for the baseline processor: the checks must run, and
// say no, where the instructions they ask about do not exist.
#include "digest/cpu_features.h"

#include <cstdint>

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <intrin.h>
#define KORVANE_X86_CHECKS 1
#elif defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define KORVANE_X86_CHECKS 1
#endif

#ifdef KORVANE_X86_CHECKS
namespace {

struct CpuidResult {
    std::uint32_t eax, ebx, ecx, edx;
};

// The answer of cpuid for leaf and subleaf; false when the processor has no
// such leaf.
bool Cpuid(std::uint32_t leaf, std::uint32_t subleaf, CpuidResult& out)
{
#ifdef _MSC_VER
    int regs[4];
    __cpuid(regs, 0);
    if (static_cast<std::uint32_t>(regs[0]) < leaf)
        return false;
    __cpuidex(regs, static_cast<int>(leaf), static_cast<int>(subleaf));
    out = {static_cast<std::uint32_t>(regs[0]), static_cast<std::uint32_t>(regs[1]),
           static_cast<std::uint32_t>(regs[2]), static_cast<std::uint32_t>(regs[3])};
    return true;
#else
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid_count(leaf, subleaf, &a, &b, &c, &d))
        return false;
    out = {a, b, c, d};
    return true;
#endif
}

// XCR0: which register states the operating system saves. Only to be read
// when cpuid reports OSXSAVE.
std::uint64_t ReadXcr0()
{
#ifdef _MSC_VER
    return _xgetbv(0);
#else
    std::uint32_t low = 0, high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return std::uint64_t{high} << 32 | low;
#endif
}

constexpr std::uint32_t kOsxsave = 1u << 27;  // leaf 1, ecx
constexpr std::uint32_t kAvx2 = 1u << 5;  // leaf 7 subleaf 0, ebx
constexpr std::uint32_t kAvx512F = 1u << 16;  // leaf 7 subleaf 0, ebx
constexpr std::uint32_t kAvx512Vl = 1u << 31;  // leaf 7 subleaf 0, ebx
// XCR0: SSE (1) and AVX (2) state, that is XMM and the upper halves of YMM;
// the opmask registers (5), the upper halves of ZMM0-15 (6) and ZMM16-31 (7).
constexpr std::uint64_t kYmmState = 1u << 1 | 1u << 2;
constexpr std::uint64_t kZmmState = kYmmState | 1u << 5 | 1u << 6 | 1u << 7;

// The leaf 7 bits ebxBits are all set, and the operating system saves the
// register states xcr0Bits.
bool CpuRuns(std::uint32_t ebxBits, std::uint64_t xcr0Bits)
{
    CpuidResult basic{}, extended{};
    if (!Cpuid(1, 0, basic) || (basic.ecx & kOsxsave) == 0)
        return false;
    if ((ReadXcr0() & xcr0Bits) != xcr0Bits)
        return false;
    if (!Cpuid(7, 0, extended))
        return false;
    return (extended.ebx & ebxBits) == ebxBits;
}

}  // namespace

bool CpuRunsAvx2()
{
    return CpuRuns(kAvx2, kYmmState);
}

bool CpuRunsAvx512Vl()
{
    return CpuRuns(kAvx512F | kAvx512Vl, kZmmState);
}

#else

bool CpuRunsAvx2()
{
    return false;
}

bool CpuRunsAvx512Vl()
{
    return false;
}

#endif
