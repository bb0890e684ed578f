// The choice of the block function in use.
#include <atomic>

#include "digest/cpu_features.h"
#include "digest/md5_blocks.h"

namespace {

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
    // Chosen once, on first use; the initialisation of a local static is
    // thread-safe. Tests and benchmarks may change it later through UseMd5Form.
    static std::atomic<Md5BlockFunction> active{
        BlocksOf(Md5FormSupported(Md5Form::Avx512) ? Md5Form::Avx512 : Md5Form::Scalar)};
    return active;
}

}  // namespace

bool Md5FormSupported(Md5Form form)
{
    // Asked once: cpuid is slow, and slower still in a virtual machine.
    static const bool avx512 = CpuRunsAvx512Vl();
    return form == Md5Form::Scalar || (form == Md5Form::Avx512 && avx512);
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
