// The lane forms of the multi-buffer engine, the choice of the one in use, and
// the break-even of each: how many lanes must hold blocks before it beats the
// single-stream form.
//
// Internal to the engine, its tests and its benchmarks.
#pragma once

#include <cstddef>
#include <vector>

#include "digest/md5_blocks.h"
#include "digest/md5_lane_blocks.h"

// "sse2", "avx2" or "avx512".
const char* Md5LaneFormName(Md5LaneForm form);
// Its lanes: 4, 8 or 16.
std::size_t Md5LaneCount(Md5LaneForm form);
// Whether this processor and operating system can run form.
bool Md5LaneFormSupported(Md5LaneForm form);
// The forms it can run, narrowest first.
std::vector<Md5LaneForm> SupportedMd5LaneForms();
// The block function of form (which this machine need not support); null in a
// build for a processor without lane forms.
Md5LaneFunction Md5LanesOf(Md5LaneForm form);

// The break-even of a form that never pays: more lanes than any form has.
constexpr std::size_t kMd5NeverBreaksEven = ~std::size_t{0};

// The lane form this machine runs fastest per byte, of those it supports whose
// words agreed with the single-stream form's: all are timed together with the
// fastest single-stream form on the first call, once per process (about a
// millisecond). A form that disagreed is never chosen; where every one did,
// or none runs here, the result is a form whose break-even is never.
Md5LaneForm FastestMd5LaneForm();

// The fewest lanes holding blocks at which form, folding all its lanes in one
// pass, beats the fastest single-stream form folding each of those lanes in
// turn, from the same timings; kMd5NeverBreaksEven where even full lanes do
// not, where form's words disagreed, or where this machine cannot run it.
std::size_t Md5LaneBreakEven(Md5LaneForm form);

// The lane form of a CMd5Lanes made without one. On first use it is
// FastestMd5LaneForm(); any thread may ask, at any time.
Md5LaneForm ActiveMd5LaneForm();

// For tests and benchmarks: puts form in use for every CMd5Lanes made from now
// on without a form, and returns true; returns false and changes nothing when
// the machine does not support form.
bool UseMd5LaneForm(Md5LaneForm form);

// The timing behind FastestMd5LaneForm and Md5LaneBreakEven.
//
// Times single and each of count candidates (count > 0) in turns, by
// TimeMd5Trials, on the caller's sample, in which lane i reads blocks i to
// i + blocks - 1 (so that it holds blocks + kMd5MaxLanes - 1 blocks) and single
// the first blocks. Then checks each candidate's words, from a start that
// differs from lane to lane, against Md5BlocksScalar's on its lanes' blocks.
// Writes each candidate's break-even against single into breakEven, and
// returns the index of the fastest per byte among those that agreed, or count
// when none did.
struct Md5LaneCandidate {
    Md5LaneFunction function;
    std::size_t lanes;  // at most kMd5MaxLanes
};
std::size_t FastestMd5Lanes(const Md5LaneCandidate* candidates, std::size_t count, Md5BlockFunction single,
                            const unsigned char* sample, std::size_t blocks, std::size_t breakEven[]);
