// The multi-buffer MD5 block function, written once for every lane form: the
// transposition of the message words and the 64 steps, over a form's vector
// operations.
//
// Only the lane form files include this header, each compiled for its own
// instruction set. So everything here is in an anonymous namespace: each form
// file gets a copy of its own, and no other file can end up calling a copy
// compiled for instructions that its processor lacks.
//
// A form's operations are a struct Ops with, for its Vector of Ops::kLanes
// 32-bit lanes (lane i in element i):
//   Add, And, Or, Xor, and AndNot(x, y), which is ~x & y;
//   RotateLeft<s>(x), and Constant(t): t in every lane;
//   Load(words), Store(words, v): kLanes words at an address aligned for Vector;
//   Row(lanes, offset): in each 128-bit quarter q of the vector, the four words
//     at lanes[4 * q] + offset, at any alignment;
//   UnpackLow32, UnpackHigh32, UnpackLow64, UnpackHigh64, as the unpack
//     instructions do, within each 128-bit quarter;
//   kTernary, and where it is true Ternary<table>(x, y, z): the function of
//     three inputs whose truth table is table, in one operation.
// The forms are x86 only, so a load of four bytes is a little-endian word, as
// MD5 reads them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "digest/md5_lane_blocks.h"

namespace {

enum class Round { F, G, H, I };

// The rounds' truth tables for a three-input operation on d, c and b, from
// the tables of those operands: 0xF0, 0xCC and 0xAA. d comes first: x86's
// three-input operation overwrites its first operand, so the copy that it
// needs is made of an old word, off the chain, rather than of b.
constexpr int TruthTable(Round round)
{
    constexpr int d = 0xF0, c = 0xCC, b = 0xAA;
    switch (round) {
    case Round::F:
        return ((b & c) | (~b & d)) & 0xFF;
    case Round::G:
        return ((b & d) | (c & ~d)) & 0xFF;
    case Round::H:
        return (b ^ c ^ d) & 0xFF;
    default:
        return (c ^ (b | ~d)) & 0xFF;
    }
}

// a + f(b, c, d) for the round's function f.
//
// b is the word that the step before has just produced; a, c and d are older.
// Every lane runs the same chain of 64 dependent steps, so the chain sets the
// speed, and f is written with as few operations after b as it can have (as in
// the scalar form): F as d ^ (b & (c ^ d)); G as (~d & c) + (d & b), whose
// terms share no set bit, the first added before b is there; H as
// b ^ (c ^ d); I as c ^ (b | ~d). A three-input operation does any of them in
// one.
template <class Ops, Round kRound>
inline typename Ops::Vector AddRound(typename Ops::Vector a, typename Ops::Vector b, typename Ops::Vector c,
                                     typename Ops::Vector d)
{
    if constexpr (Ops::kTernary) {
        return Ops::Add(a, Ops::template Ternary<TruthTable(kRound)>(d, c, b));
    } else if constexpr (kRound == Round::F) {
        return Ops::Add(a, Ops::Xor(d, Ops::And(b, Ops::Xor(c, d))));
    } else if constexpr (kRound == Round::G) {
        return Ops::Add(Ops::Add(a, Ops::AndNot(d, c)), Ops::And(d, b));
    } else if constexpr (kRound == Round::H) {
        return Ops::Add(a, Ops::Xor(b, Ops::Xor(c, d)));
    } else {
        return Ops::Add(a, Ops::Xor(c, Ops::Or(b, Ops::Xor(d, Ops::Constant(0xFFFFFFFF)))));
    }
}

// One step: a = b + ((a + f(b, c, d) + word + t) <<< kShift). word and t are
// added to a first, off the chain.
template <class Ops, Round kRound, int kShift>
inline void Step(typename Ops::Vector& a, typename Ops::Vector b, typename Ops::Vector c, typename Ops::Vector d,
                 const typename Ops::Vector& word, std::uint32_t t)
{
    a = Ops::Add(Ops::Add(a, word), Ops::Constant(t));
    a = AddRound<Ops, kRound>(a, b, c, d);
    a = Ops::Add(b, Ops::template RotateLeft<kShift>(a));
}

// Word k of every lane's block at offset into words[k]: per group of four
// words, row r holds them for lanes r, r + 4, r + 8 and r + 12 (one per 128-bit
// quarter), and a 4-by-4 transposition within each quarter gives each word
// for four lanes at once.
template <class Ops>
inline void TransposeBlock(const unsigned char* const lanes[], std::size_t offset, typename Ops::Vector words[16])
{
    using Vector = typename Ops::Vector;
    for (std::size_t group = 0; group < 4; ++group) {
        const std::size_t at = offset + 16 * group;
        const Vector row0 = Ops::Row(lanes + 0, at), row1 = Ops::Row(lanes + 1, at);
        const Vector row2 = Ops::Row(lanes + 2, at), row3 = Ops::Row(lanes + 3, at);
        const Vector low01 = Ops::UnpackLow32(row0, row1), high01 = Ops::UnpackHigh32(row0, row1);
        const Vector low23 = Ops::UnpackLow32(row2, row3), high23 = Ops::UnpackHigh32(row2, row3);
        words[4 * group + 0] = Ops::UnpackLow64(low01, low23);
        words[4 * group + 1] = Ops::UnpackHigh64(low01, low23);
        words[4 * group + 2] = Ops::UnpackLow64(high01, high23);
        words[4 * group + 3] = Ops::UnpackHigh64(high01, high23);
    }
}

template <class Ops>
void FoldLanes(Md5LaneWords& state, const unsigned char* const lanes[], std::size_t count)
{
    using Vector = typename Ops::Vector;
    Vector stateA = Ops::Load(state.a), stateB = Ops::Load(state.b), stateC = Ops::Load(state.c),
           stateD = Ops::Load(state.d);
    // The steps read their words from here, as memory operands: a 32-bit
    // program has eight vector registers, and A, B, C, D and two temporaries
    // already take six of them.
    Vector x[16];
    for (std::size_t offset = 0; count > 0; --count, offset += 64) {
        TransposeBlock<Ops>(lanes, offset, x);
        Vector a = stateA, b = stateB, c = stateC, d = stateD;

        Step<Ops, Round::F, 7>(a, b, c, d, x[0], 0xd76aa478);
        Step<Ops, Round::F, 12>(d, a, b, c, x[1], 0xe8c7b756);
        Step<Ops, Round::F, 17>(c, d, a, b, x[2], 0x242070db);
        Step<Ops, Round::F, 22>(b, c, d, a, x[3], 0xc1bdceee);
        Step<Ops, Round::F, 7>(a, b, c, d, x[4], 0xf57c0faf);
        Step<Ops, Round::F, 12>(d, a, b, c, x[5], 0x4787c62a);
        Step<Ops, Round::F, 17>(c, d, a, b, x[6], 0xa8304613);
        Step<Ops, Round::F, 22>(b, c, d, a, x[7], 0xfd469501);
        Step<Ops, Round::F, 7>(a, b, c, d, x[8], 0x698098d8);
        Step<Ops, Round::F, 12>(d, a, b, c, x[9], 0x8b44f7af);
        Step<Ops, Round::F, 17>(c, d, a, b, x[10], 0xffff5bb1);
        Step<Ops, Round::F, 22>(b, c, d, a, x[11], 0x895cd7be);
        Step<Ops, Round::F, 7>(a, b, c, d, x[12], 0x6b901122);
        Step<Ops, Round::F, 12>(d, a, b, c, x[13], 0xfd987193);
        Step<Ops, Round::F, 17>(c, d, a, b, x[14], 0xa679438e);
        Step<Ops, Round::F, 22>(b, c, d, a, x[15], 0x49b40821);

        Step<Ops, Round::G, 5>(a, b, c, d, x[1], 0xf61e2562);
        Step<Ops, Round::G, 9>(d, a, b, c, x[6], 0xc040b340);
        Step<Ops, Round::G, 14>(c, d, a, b, x[11], 0x265e5a51);
        Step<Ops, Round::G, 20>(b, c, d, a, x[0], 0xe9b6c7aa);
        Step<Ops, Round::G, 5>(a, b, c, d, x[5], 0xd62f105d);
        Step<Ops, Round::G, 9>(d, a, b, c, x[10], 0x02441453);
        Step<Ops, Round::G, 14>(c, d, a, b, x[15], 0xd8a1e681);
        Step<Ops, Round::G, 20>(b, c, d, a, x[4], 0xe7d3fbc8);
        Step<Ops, Round::G, 5>(a, b, c, d, x[9], 0x21e1cde6);
        Step<Ops, Round::G, 9>(d, a, b, c, x[14], 0xc33707d6);
        Step<Ops, Round::G, 14>(c, d, a, b, x[3], 0xf4d50d87);
        Step<Ops, Round::G, 20>(b, c, d, a, x[8], 0x455a14ed);
        Step<Ops, Round::G, 5>(a, b, c, d, x[13], 0xa9e3e905);
        Step<Ops, Round::G, 9>(d, a, b, c, x[2], 0xfcefa3f8);
        Step<Ops, Round::G, 14>(c, d, a, b, x[7], 0x676f02d9);
        Step<Ops, Round::G, 20>(b, c, d, a, x[12], 0x8d2a4c8a);

        Step<Ops, Round::H, 4>(a, b, c, d, x[5], 0xfffa3942);
        Step<Ops, Round::H, 11>(d, a, b, c, x[8], 0x8771f681);
        Step<Ops, Round::H, 16>(c, d, a, b, x[11], 0x6d9d6122);
        Step<Ops, Round::H, 23>(b, c, d, a, x[14], 0xfde5380c);
        Step<Ops, Round::H, 4>(a, b, c, d, x[1], 0xa4beea44);
        Step<Ops, Round::H, 11>(d, a, b, c, x[4], 0x4bdecfa9);
        Step<Ops, Round::H, 16>(c, d, a, b, x[7], 0xf6bb4b60);
        Step<Ops, Round::H, 23>(b, c, d, a, x[10], 0xbebfbc70);
        Step<Ops, Round::H, 4>(a, b, c, d, x[13], 0x289b7ec6);
        Step<Ops, Round::H, 11>(d, a, b, c, x[0], 0xeaa127fa);
        Step<Ops, Round::H, 16>(c, d, a, b, x[3], 0xd4ef3085);
        Step<Ops, Round::H, 23>(b, c, d, a, x[6], 0x04881d05);
        Step<Ops, Round::H, 4>(a, b, c, d, x[9], 0xd9d4d039);
        Step<Ops, Round::H, 11>(d, a, b, c, x[12], 0xe6db99e5);
        Step<Ops, Round::H, 16>(c, d, a, b, x[15], 0x1fa27cf8);
        Step<Ops, Round::H, 23>(b, c, d, a, x[2], 0xc4ac5665);

        Step<Ops, Round::I, 6>(a, b, c, d, x[0], 0xf4292244);
        Step<Ops, Round::I, 10>(d, a, b, c, x[7], 0x432aff97);
        Step<Ops, Round::I, 15>(c, d, a, b, x[14], 0xab9423a7);
        Step<Ops, Round::I, 21>(b, c, d, a, x[5], 0xfc93a039);
        Step<Ops, Round::I, 6>(a, b, c, d, x[12], 0x655b59c3);
        Step<Ops, Round::I, 10>(d, a, b, c, x[3], 0x8f0ccc92);
        Step<Ops, Round::I, 15>(c, d, a, b, x[10], 0xffeff47d);
        Step<Ops, Round::I, 21>(b, c, d, a, x[1], 0x85845dd1);
        Step<Ops, Round::I, 6>(a, b, c, d, x[8], 0x6fa87e4f);
        Step<Ops, Round::I, 10>(d, a, b, c, x[15], 0xfe2ce6e0);
        Step<Ops, Round::I, 15>(c, d, a, b, x[6], 0xa3014314);
        Step<Ops, Round::I, 21>(b, c, d, a, x[13], 0x4e0811a1);
        Step<Ops, Round::I, 6>(a, b, c, d, x[4], 0xf7537e82);
        Step<Ops, Round::I, 10>(d, a, b, c, x[11], 0xbd3af235);
        Step<Ops, Round::I, 15>(c, d, a, b, x[2], 0x2ad7d2bb);
        Step<Ops, Round::I, 21>(b, c, d, a, x[9], 0xeb86d391);

        stateA = Ops::Add(stateA, a);
        stateB = Ops::Add(stateB, b);
        stateC = Ops::Add(stateC, c);
        stateD = Ops::Add(stateD, d);
    }
    Ops::Store(state.a, stateA);
    Ops::Store(state.b, stateB);
    Ops::Store(state.c, stateC);
    Ops::Store(state.d, stateD);
}

}  // namespace
