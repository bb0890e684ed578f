// The MD5 block functions behind CMD5Checksum, and the choice of the one in use.
//
// Internal to the engine, its tests and its benchmarks. A block function folds
// count consecutive 64-byte blocks into the chaining state A, B, C, D, exactly
// as RFC 1321's block step does one block after another. The forms differ only
// in the instructions they use; every form computes the same words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#define KORVANE_MD5_AVX512_FORM 1
#endif

using Md5BlockFunction = void (*)(std::uint32_t state[4], const unsigned char* blocks, std::size_t count);

enum class Md5Form {
    Scalar,  // plain C++, runs anywhere
    Avx512,  // needs AVX-512F and AVX-512VL, and an operating system that saves their registers
};

void Md5BlocksScalar(std::uint32_t state[4], const unsigned char* blocks, std::size_t count);
#ifdef KORVANE_MD5_AVX512_FORM
void Md5BlocksAvx512(std::uint32_t state[4], const unsigned char* blocks, std::size_t count);
#endif

// "scalar" or "avx512".
const char* Md5FormName(Md5Form form);

// Whether this processor and operating system can run form.
bool Md5FormSupported(Md5Form form);
// The forms it can run, scalar first.
std::vector<Md5Form> SupportedMd5Forms();

// The form this machine runs fastest, of those it supports: each is timed on
// the first call, once per process (a fraction of a millisecond).
Md5Form FastestMd5Form();

// The block function in use. On first use it is FastestMd5Form(); any thread
// may ask, at any time.
Md5BlockFunction ActiveMd5Blocks();
Md5Form ActiveMd5Form();

// The block function of form (which this machine need not support).
Md5BlockFunction Md5BlocksOf(Md5Form form);

// The timing behind the choices among forms, this one's and the lane forms'.
//
// count candidates take turns on one sample: a warm-up round, then timed
// rounds, and each keeps its fastest round, fastest[i] in seconds. trial(context,
// i) has candidate i do its work on the sample once.
using Md5Trial = void (*)(void* context, std::size_t candidate);
void TimeMd5Trials(Md5Trial trial, void* context, std::size_t count, double fastest[]);

// The size of the samples the choices time, in blocks (per lane for the lane
// forms), and their content: fixed, and repeating only after far more bytes
// than a sample holds.
constexpr std::size_t kMd5SampleBlocks = 128;
void FillMd5Sample(unsigned char* sample, std::size_t size);

// The timing behind FastestMd5Form: the index of the fastest of count block
// functions (count > 0) on the caller's sample of blocks 64-byte blocks.
std::size_t FastestMd5Blocks(const Md5BlockFunction* forms, std::size_t count, const unsigned char* sample,
                             std::size_t blocks);

// For tests and benchmarks: puts form in use for every engine object from the
// next Update on, and returns true; returns false and changes nothing when the
// machine does not support form. Switching between messages, or even in the
// middle of one, gives the same digests.
bool UseMd5Form(Md5Form form);
