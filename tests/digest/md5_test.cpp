// CMD5Checksum: RFC 1321's vectors and independence from how the input is cut,
// in every block function this machine can run; the block functions against
// each other; the length carry past 512 MiB.
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "digest/cpu_features.h"
#include "digest/md5.h"
#include "digest/md5_blocks.h"
#include "platform/file.h"
#include "support/test_files.h"

// Names the form in the test's messages.
void PrintTo(Md5Form form, std::ostream* out)
{
    *out << Md5FormName(form);
}

namespace {

// Digests data fed in pieces of at most piece bytes (0: all at once).
std::string DigestInPieces(const std::string& data, std::size_t piece)
{
    CMD5Checksum md5;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    std::size_t at = 0;
    do {
        const std::size_t n = piece == 0 ? data.size() : std::min(piece, data.size() - at);
        md5.Update(bytes + at, static_cast<std::uint32_t>(n));
        at += n;
    } while (at < data.size());
    unsigned char digest[16];
    md5.Final(digest);
    return HexOf(digest);
}

const auto kForms = testing::Values(Md5Form::Scalar, Md5Form::Avx512);

// A parameterised test whose first parameter is the block function to put in
// use; skipped where this machine cannot run that form.
template <typename... Rest>
class WithForm : public testing::TestWithParam<std::tuple<Md5Form, Rest...>> {
protected:
    void SetUp() override
    {
        const Md5Form form = std::get<0>(this->GetParam());
        if (!UseMd5Form(form))
            GTEST_SKIP() << "this processor cannot run the " << Md5FormName(form) << " form";
    }

    void TearDown() override { UseMd5Form(m_previous); }

private:
    Md5Form m_previous = ActiveMd5Form();
};

struct Vector {
    const char* message;
    const char* digest;
};

std::ostream& operator<<(std::ostream& out, const Vector& v)
{
    return out << '"' << v.message << '"';
}

class Rfc1321Suite : public WithForm<Vector> {};

TEST_P(Rfc1321Suite, GivesTheListedDigest)
{
    const Vector& vector = std::get<1>(GetParam());
    EXPECT_EQ(DigestInPieces(vector.message, 0), vector.digest);
}

INSTANTIATE_TEST_SUITE_P(
    Md5, Rfc1321Suite,
    testing::Combine(kForms, testing::Values(
        Vector{"", "d41d8cd98f00b204e9800998ecf8427e"}, Vector{"a", "0cc175b9c0f1b6a831c399e269772661"},
        Vector{"abc", "900150983cd24fb0d6963f7d28e17f72"},
        Vector{"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        Vector{"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        Vector{"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
               "d174ab98d277d9f5a5611c2c9f419d9f"},
        Vector{"1234567890" "1234567890" "1234567890" "1234567890" "1234567890" "1234567890" "1234567890"
               "1234567890",
               "57edf4a22be3c955ac49da2e2107b67a"})),
    [](const testing::TestParamInfo<Rfc1321Suite::ParamType>& test) {
        return std::string(Md5FormName(std::get<0>(test.param))) + "_" + std::to_string(test.index);
    });

// Reference digests of PatternBytes(length), from an independent implementation.
// The lengths sit on both sides of the padding and block boundaries.
struct PatternCase {
    std::size_t length;
    const char* digest;
};

std::ostream& operator<<(std::ostream& out, const PatternCase& c)
{
    return out << c.length << " bytes";
}

const PatternCase kPatternCases[] = {
    {0, "d41d8cd98f00b204e9800998ecf8427e"},    {1, "8666683506aacd900bbd5a74ac4edf68"},
    {55, "030157be00035d098644cfc70e5deaea"},   {56, "8e758df1ec8681fc06daa64253668f13"},
    {57, "7cc4dbe44c422ac3e98466e4ff92bb95"},   {63, "4a805576b511a836fefee199fb797ae5"},
    {64, "7a0cbe2eab91195c56eae7f83588d243"},   {65, "940b4e909b09d4828b0eebe642613192"},
    {119, "c78b1987e67f5f382adb7de5fed3e55e"},  {120, "4bebaf2293f8b2e434f1a4f024eea593"},
    {1023, "5044b433fe3d9d5345f896f4c75964fe"}, {1024, "84d769de0d4a5450f9ca6ca2eab3234a"},
    {1025, "bf8516a41091eed47cb5c49723ae5be9"}, {4097, "115dc8519508f9fa0a3c1e30af33fbe1"},
};

class CutIndependence : public WithForm<PatternCase, std::size_t> {};

TEST_P(CutIndependence, EveryCutGivesTheReferenceDigest)
{
    const auto& [form, pattern, piece] = GetParam();
    EXPECT_EQ(DigestInPieces(PatternBytes(pattern.length), piece), pattern.digest)
        << pattern.length << " bytes in pieces of " << piece << ", " << Md5FormName(form) << " form";
}

std::string CutName(const testing::TestParamInfo<CutIndependence::ParamType>& test)
{
    const auto& [form, pattern, piece] = test.param;
    return std::string(Md5FormName(form)) + "_" + std::to_string(pattern.length) + "_bytes_in_pieces_of_" +
           std::to_string(piece);
}

INSTANTIATE_TEST_SUITE_P(
    Md5, CutIndependence,
    testing::Combine(kForms, testing::ValuesIn(kPatternCases), testing::Values(0, 1, 63, 64, 65, 1024)), CutName);

// Digests data cut at the given lengths (the rest in one last piece), with
// the block function of form in use for the piece at index i when
// formOfPiece(i) says so.
template <typename FormOfPiece>
std::string DigestInCuts(const std::string& data, const std::vector<std::size_t>& cuts, FormOfPiece formOfPiece)
{
    const Md5Form previous = ActiveMd5Form();
    CMD5Checksum md5;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    std::size_t at = 0;
    for (std::size_t i = 0; i <= cuts.size(); ++i) {
        const std::size_t n = i < cuts.size() ? cuts[i] : data.size() - at;
        EXPECT_TRUE(UseMd5Form(formOfPiece(i)));
        md5.Update(bytes + at, static_cast<std::uint32_t>(n));
        at += n;
    }
    unsigned char digest[16];
    md5.Final(digest);
    UseMd5Form(previous);
    return HexOf(digest);
}

// The block functions against each other, on messages of random content and
// length cut at random: the same digest from either form, and when the form
// changes from piece to piece within one message.
TEST(Md5Forms, AgreeOnRandomMessagesAndCuts)
{
    if (!Md5FormSupported(Md5Form::Avx512))
        GTEST_SKIP() << "this processor cannot run the Avx512 form";
    std::mt19937 generator(1321);  // fixed, so that a failure repeats
    std::uniform_int_distribution<std::size_t> length(0, 5000);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<std::size_t> smallPiece(0, 130);
    std::uniform_int_distribution<std::size_t> largePiece(0, 2000);
    for (int round = 0; round < 300; ++round) {
        std::string data(length(generator), '\0');
        for (char& c : data)
            c = static_cast<char>(byte(generator));
        std::vector<std::size_t> cuts;
        for (std::size_t left = data.size(); left > 0;) {
            const std::size_t piece = (generator() & 1) != 0 ? smallPiece(generator) : largePiece(generator);
            const std::size_t n = std::min(left, piece);
            cuts.push_back(n);
            left -= n;
        }

        const std::string scalar = DigestInCuts(data, cuts, [](std::size_t) { return Md5Form::Scalar; });
        const std::string avx512 = DigestInCuts(data, cuts, [](std::size_t) { return Md5Form::Avx512; });
        const std::string mixed = DigestInCuts(
            data, cuts, [](std::size_t i) { return i % 2 == 0 ? Md5Form::Avx512 : Md5Form::Scalar; });
        const std::string whole = DigestInCuts(data, {}, [](std::size_t) { return Md5Form::Avx512; });
        std::ostringstream where;
        where << data.size() << " bytes in " << cuts.size() + 1 << " pieces, round " << round;
        EXPECT_EQ(avx512, scalar) << where.str();
        EXPECT_EQ(mixed, scalar) << where.str();
        EXPECT_EQ(whole, scalar) << where.str();
    }
}

// A form that does the scalar form's work eight times over: slower on any
// machine, by far more than a try's noise.
void EightfoldScalar(std::uint32_t state[4], const unsigned char* blocks, std::size_t count)
{
    for (int i = 0; i < 8; ++i)
        Md5BlocksScalar(state, blocks, count);
}

TEST(Md5Forms, TheTimingPicksTheFasterFormWhereverItStands)
{
    const Md5BlockFunction slowFirst[] = {EightfoldScalar, Md5BlocksScalar};
    const Md5BlockFunction fastFirst[] = {Md5BlocksScalar, EightfoldScalar};
    EXPECT_EQ(FastestMd5Blocks(slowFirst, 2), 1u);
    EXPECT_EQ(FastestMd5Blocks(fastFirst, 2), 0u);
    EXPECT_TRUE(Md5FormSupported(FastestMd5Form()));
}

#ifdef __linux__
// The processor check against the kernel's view, which lists avx512f and
// avx512vl only where the processor has them and the kernel saves their state.
TEST(Md5Forms, Avx512SupportMatchesTheKernelsView)
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line) && line.rfind("flags", 0) != 0) {
    }
    if (line.empty())
        GTEST_SKIP() << "no processor flags in /proc/cpuinfo";
    std::istringstream flags(line.substr(line.find(':') + 1));
    bool f = false, vl = false;
    for (std::string flag; flags >> flag;) {
        f = f || flag == "avx512f";
        vl = vl || flag == "avx512vl";
    }
    EXPECT_EQ(CpuRunsAvx512Vl(), f && vl);
    EXPECT_EQ(Md5FormSupported(Md5Form::Avx512), f && vl);
}
#endif

TEST(Md5, UpdatesOfLengthZeroChangeNothing)
{
    CMD5Checksum md5;
    const auto* abc = reinterpret_cast<const unsigned char*>("abc");
    md5.Update(nullptr, 0);
    md5.Update(abc, 1);
    md5.Update(abc + 1, 0);
    md5.Update(abc + 1, 2);
    md5.Update(abc + 3, 0);
    unsigned char digest[16];
    md5.Final(digest);
    EXPECT_EQ(HexOf(digest), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Md5, BitCountCarriesPast512MiB)
{
    // 2^29 bytes is 2^32 bits: the low word of the count wraps and carries.
    const std::size_t total = (std::size_t{1} << 29) + 5;
    const std::string block = PatternBytes(251 * 4096);  // whole periods, so pieces join seamlessly
    CMD5Checksum md5;
    for (std::size_t fed = 0; fed < total;) {
        const std::size_t n = std::min(block.size(), total - fed);
        md5.Update(reinterpret_cast<const unsigned char*>(block.data()), static_cast<std::uint32_t>(n));
        fed += n;
    }
    unsigned char digest[16];
    md5.Final(digest);
    EXPECT_EQ(HexOf(digest), "0916187d71abe76128907c402e9dec28");
}

}  // namespace
