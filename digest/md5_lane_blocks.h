// The multi-buffer MD5 block functions: several independent messages side by
// side in the 32-bit lanes of one vector register, one lane each; and the
// types that the lanes' manager and the choice among the forms share.
//
// Internal to the engine, its tests and its benchmarks. Included by the lane
// form files, which are compiled for instruction sets that the processor may
// lack: so this header declares and defines no function.
#pragma once

#include <cstddef>
#include <cstdint>

// The lane forms, one block function each.
enum class Md5LaneForm {
    Sse2,    // 4 lanes
    Avx2,    // 8 lanes
    Avx512,  // 16 lanes
};

// The most lanes of any form: the 16 of the AVX-512 form.
constexpr std::size_t kMd5MaxLanes = 16;

// The chaining state of every lane: lane i's A, B, C, D are a[i], b[i], c[i],
// d[i]. Each array is one aligned vector of the widest form.
struct alignas(64) Md5LaneWords {
    std::uint32_t a[kMd5MaxLanes], b[kMd5MaxLanes], c[kMd5MaxLanes], d[kMd5MaxLanes];
};

// Folds count consecutive 64-byte blocks at lanes[i] into lane i, for each of
// the form's lanes, exactly as the single-stream block function would one
// message at a time. Every lane folds count blocks: a lane with nothing to do
// needs the pointer of one that has, and its words kept aside.
using Md5LaneFunction = void (*)(Md5LaneWords& state, const unsigned char* const lanes[], std::size_t count);

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#define KORVANE_MD5_LANE_FORMS 1
// 4 lanes in SSE2, which every processor our builds run on has.
void Md5LanesSse2(Md5LaneWords& state, const unsigned char* const lanes[], std::size_t count);
// 8 lanes; needs AVX2 and an operating system that saves its registers.
void Md5LanesAvx2(Md5LaneWords& state, const unsigned char* const lanes[], std::size_t count);
// 16 lanes; needs AVX-512F and an operating system that saves its registers.
void Md5LanesAvx512(Md5LaneWords& state, const unsigned char* const lanes[], std::size_t count);
#endif
