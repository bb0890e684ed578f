// Fuzz target: CMD5Checksum fed in pieces chosen by the input itself must give
// OpenSSL's MD5 of the whole input, and the same digest as one Update of it;
// and CMd5Lanes, in every lane form the machine runs, OpenSSL's MD5 of each
// lane's message, lanes of unequal lengths given blocks as the input says.
//
// The message is the whole input. The cut plan is read from the same bytes,
// from the last one backwards: each plan byte gives the length of the next
// piece (see PieceLength), so the fuzzer reaches empty updates, pieces that
// end inside a block, pieces that cross block boundaries and runs of whole
// blocks. Once the plan bytes run out the rest goes in one piece, which is
// empty when the plan has already used up the message.
//
// Every piece is copied into an allocation of its own that ends exactly where
// the piece ends, at a start address that varies with the piece, so that
// AddressSanitizer catches a read past a piece's end and UndefinedBehaviorSanitizer
// an unaligned word access, which a buffer holding the whole message would hide.
//
// In the lanes, lane i's message is the input from byte i * size / lanes on,
// in an allocation of its own that ends where it ends. The plan, read the same
// way, says in turn for each lane without blocks: wait a turn, end the message
// with the rest (whole blocks included), or take the next 1 to 15 blocks; and
// its first byte from how many lanes with blocks on Run folds in lanes. Once
// the plan runs out every lane takes all its blocks, then ends.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <openssl/evp.h>

#include "digest/md5.h"
#include "digest/md5_lane_forms.h"
#include "digest/md5_lanes.h"

namespace {

using Digest = unsigned char[16];

// The length of a piece from one plan byte: the top two bits pick a kind, the
// low six bits a value v.
std::size_t PieceLength(unsigned char planByte)
{
    const std::size_t v = planByte & 0x3F;
    switch (planByte >> 6) {
    case 0:
        return v;  // 0 to 63: empty updates and pieces inside one block
    case 1:
        return 32 + v;  // 32 to 95: around one block, crossing a boundary
    case 2:
        return 64 * v;  // whole blocks, aligned or not as the pieces before left them
    default:
        return 67 * v + 1;  // up to some 4 KiB, neither block- nor chunk-sized
    }
}

[[noreturn]] void Fail(const char* what, std::size_t size)
{
    std::fprintf(stderr, "md5_fuzz: %s (input of %zu bytes)\n", what, size);
    std::abort();
}

void PrintDigest(const char* label, const Digest digest)
{
    std::fprintf(stderr, "  %-10s", label);
    for (int i = 0; i < 16; ++i)
        std::fprintf(stderr, "%02x", digest[i]);
    std::fputc('\n', stderr);
}

void Check(const char* how, const Digest got, const Digest expected, std::size_t size)
{
    if (std::memcmp(got, expected, sizeof(Digest)) == 0)
        return;
    PrintDigest("OpenSSL", expected);
    PrintDigest(how, got);
    Fail("the digest differs from OpenSSL's MD5", size);
}

void UpdateFromCopy(CMD5Checksum& md5, const unsigned char* piece, std::size_t length, std::size_t shift)
{
    // The piece sits at the end of its allocation; shift moves its start off
    // the allocator's alignment.
    std::unique_ptr<unsigned char[]> area(new unsigned char[shift + length]);
    unsigned char* copy = area.get() + shift;
    if (length > 0)
        std::memcpy(copy, piece, length);
    md5.Update(copy, static_cast<std::uint32_t>(length));
}

void DigestInPieces(const unsigned char* data, std::size_t size, Digest out)
{
    CMD5Checksum md5;
    std::size_t at = 0;    // message bytes absorbed
    std::size_t plan = 0;  // plan bytes used, counted from the end
    std::size_t pieces = 0;
    while (plan < size && at < size) {
        const std::size_t length = PieceLength(data[size - 1 - plan]);
        ++plan;
        const std::size_t n = length < size - at ? length : size - at;
        UpdateFromCopy(md5, data + at, n, pieces % 8);
        at += n;
        ++pieces;
    }
    UpdateFromCopy(md5, data + at, size - at, pieces % 8);
    md5.Final(out);
}

void DigestAtOnce(const unsigned char* data, std::size_t size, Digest out)
{
    CMD5Checksum md5;
    md5.Update(data, static_cast<std::uint32_t>(size));
    md5.Final(out);
}

void ReferenceDigest(const unsigned char* data, std::size_t size, Digest out)
{
    unsigned int outLength = 0;
    if (EVP_Digest(data, size, out, &outLength, EVP_md5(), nullptr) != 1 || outLength != 16)
        Fail("OpenSSL's MD5 failed", size);
}

void CheckLanes(Md5LaneForm form, const unsigned char* data, std::size_t size)
{
    const std::size_t laneCount = Md5LaneCount(form);
    CMd5Lanes lanes(form, size > 0 ? 1 + data[0] % (laneCount + 1) : 1);
    std::vector<std::unique_ptr<unsigned char[]>> messages(laneCount);
    std::vector<std::size_t> length(laneCount), at(laneCount, 0);
    std::vector<bool> ended(laneCount, false);
    for (std::size_t lane = 0; lane < laneCount; ++lane) {
        length[lane] = size - lane * size / laneCount;
        messages[lane].reset(new unsigned char[length[lane]]);
        if (length[lane] > 0)
            std::memcpy(messages[lane].get(), data + size - length[lane], length[lane]);
        lanes.Begin(lane);
    }
    std::size_t plan = 0;
    for (std::size_t open = laneCount; open > 0; lanes.Run()) {
        for (std::size_t lane = 0; lane < laneCount; ++lane) {
            if (ended[lane] || lanes.Blocks(lane) > 0)
                continue;
            const std::size_t choice = plan < size ? data[size - 1 - plan++] % 17 : 1000;
            const std::size_t whole = (length[lane] - at[lane]) / 64;
            const unsigned char* rest = messages[lane].get() + at[lane];
            if (choice == 16)
                continue;
            if (choice > 0 && whole > 0) {
                const std::size_t count = choice < whole ? choice : whole;
                lanes.Give(lane, rest, count);
                at[lane] += 64 * count;
                continue;
            }
            Digest expected, got;
            ReferenceDigest(messages[lane].get(), length[lane], expected);
            lanes.End(lane, rest, length[lane] - at[lane], got);
            Check(Md5LaneFormName(form), got, expected, size);
            ended[lane] = true;
            --open;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // OpenSSL sets itself up on first use; doing it here keeps those
    // long-lived allocations out of the first run's leak check.
    Digest ignored;
    ReferenceDigest(nullptr, 0, ignored);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Digest expected;
    ReferenceDigest(data, size, expected);

    Digest inPieces;
    DigestInPieces(data, size, inPieces);
    Check("in pieces", inPieces, expected, size);

    Digest atOnce;
    DigestAtOnce(data, size, atOnce);
    Check("at once", atOnce, expected, size);

    for (const Md5LaneForm form : SupportedMd5LaneForms())
        CheckLanes(form, data, size);
    return 0;
}
