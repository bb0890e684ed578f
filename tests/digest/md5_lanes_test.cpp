// CMd5Lanes in every lane form this machine runs, against the single-stream
// engine: messages of unequal lengths through every number of lanes in use,
// lanes ending and begun again while others are mid-message, lanes waiting a
// turn, with the lane form always, from three lanes with blocks on, and never;
// lengths past 2^32 bits and bytes; misuse; and the choice of the lane form.
#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <ostream>
#include <random>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "digest/md5_lane_forms.h"
#include "digest/md5_lanes.h"
#include "support/test_files.h"

// Names the form in the test's messages.
void PrintTo(Md5LaneForm form, std::ostream* out)
{
    *out << Md5LaneFormName(form);
}

namespace {

const unsigned char* Bytes(const std::string& data)
{
    return reinterpret_cast<const unsigned char*>(data.data());
}

// Digests messages through the first width lanes, each message in the next
// free lane. Before each Run every lane without blocks, at random, waits a
// turn, is given 1 to 40 blocks, or ends its message with the rest (whole
// blocks included). After it, every lane that held blocks holds the fewest
// fewer, or none where fewer than breakEven lanes held any.
std::vector<std::string> DigestThrough(CMd5Lanes& lanes, std::size_t width, std::size_t breakEven,
                                       const std::vector<std::string>& messages, std::mt19937& random)
{
    const std::size_t none = messages.size();
    std::vector<std::string> digests(messages.size());
    std::vector<std::size_t> message(width, none), at(width, 0), before(width);
    for (std::size_t next = 0, ended = 0; ended < messages.size();) {
        for (std::size_t lane = 0; lane < width; ++lane) {
            if (message[lane] == none && next < messages.size()) {
                lanes.Begin(lane);
                message[lane] = next++;
                at[lane] = 0;
            }
            if (message[lane] == none || lanes.Blocks(lane) > 0 || random() % 4 == 0)
                continue;
            const std::string& data = messages[message[lane]];
            const std::size_t whole = (data.size() - at[lane]) / 64;
            if (whole > 0 && random() % 8 != 0) {
                const std::size_t count = 1 + random() % std::min<std::size_t>(whole, 40);
                lanes.Give(lane, Bytes(data) + at[lane], count);
                at[lane] += 64 * count;
            } else {
                unsigned char digest[16];
                lanes.End(lane, Bytes(data) + at[lane], data.size() - at[lane], digest);
                digests[message[lane]] = HexOf(digest);
                message[lane] = none;
                ++ended;
            }
        }
        std::size_t holding = 0, fewest = ~std::size_t{0};
        for (std::size_t lane = 0; lane < width; ++lane) {
            before[lane] = lanes.Blocks(lane);
            if (before[lane] > 0) {
                ++holding;
                fewest = std::min(fewest, before[lane]);
            }
        }
        lanes.Run();
        for (std::size_t lane = 0; lane < width; ++lane) {
            const std::size_t left = before[lane] == 0 || holding < breakEven ? 0 : before[lane] - fewest;
            EXPECT_EQ(lanes.Blocks(lane), left) << "lane " << lane << ", " << holding << " lanes with blocks";
        }
    }
    return digests;
}

class LaneSchedule : public testing::TestWithParam<std::tuple<Md5LaneForm, std::size_t>> {};

TEST_P(LaneSchedule, EveryMessageGetsTheSingleStreamDigest)
{
    const auto [form, breakEven] = GetParam();
    if (!Md5LaneFormSupported(form))
        GTEST_SKIP() << "this processor cannot run the " << Md5LaneFormName(form) << " lane form";
    std::mt19937 random(1321);  // fixed, so that a failure repeats
    CMd5Lanes lanes(form, breakEven);
    for (std::size_t width = 1; width <= lanes.LaneCount(); ++width) {
        std::vector<std::string> messages;
        for (const std::size_t length : {0, 55, 56, 63, 64, 65, 4097})
            messages.emplace_back(length, '\0');
        for (std::size_t i = 0; i < width; ++i)
            messages.emplace_back(random() % 9000, '\0');
        for (std::string& data : messages) {
            for (char& c : data)
                c = static_cast<char>(random());
        }
        std::shuffle(messages.begin(), messages.end(), random);
        const std::vector<std::string> digests = DigestThrough(lanes, width, breakEven, messages, random);
        for (std::size_t i = 0; i < messages.size(); ++i)
            EXPECT_EQ(digests[i], Md5Hex(messages[i])) << messages[i].size() << " bytes, " << width << " lanes in use";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Md5Lanes, LaneSchedule,
    testing::Combine(testing::Values(Md5LaneForm::Sse2, Md5LaneForm::Avx2, Md5LaneForm::Avx512),
                     testing::Values(std::size_t{1}, std::size_t{3}, kMd5NeverBreaksEven)),
    [](const testing::TestParamInfo<LaneSchedule::ParamType>& test) {
        const std::size_t breakEven = std::get<1>(test.param);
        return std::string(Md5LaneFormName(std::get<0>(test.param))) + "_lanes_from_" +
               (breakEven == kMd5NeverBreaksEven ? std::string("never") : std::to_string(breakEven));
    });

// PatternBytes(length) in one lane, given in whole periods of the pattern.
std::string DigestOfPattern(std::uint64_t length)
{
    const std::string period = PatternBytes(251 * 4096);  // whole periods and whole blocks
    CMd5Lanes lanes;
    lanes.Begin(0);
    std::size_t at = 0;  // where the pattern goes on in period
    for (; length >= 64; lanes.Run()) {
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(length / 64, period.size() / 64));
        lanes.Give(0, Bytes(period), count);
        at = count * 64 % period.size();
        length -= count * 64;
    }
    unsigned char digest[16];
    lanes.End(0, Bytes(period) + at, static_cast<std::size_t>(length), digest);
    return HexOf(digest);
}

TEST(Md5Lanes, BitCountCarriesPast512MiB)
{
    EXPECT_EQ(DigestOfPattern((std::uint64_t{1} << 29) + 5), "0916187d71abe76128907c402e9dec28");
}

TEST(LongMd5Lanes, ByteCountCarriesPast4GiB)
{
    EXPECT_EQ(DigestOfPattern((std::uint64_t{1} << 32) + 5), "686d7065815bf5885f8d355eb56c7020");
}

TEST(Md5Lanes, MisuseThrowsAndChangesNothing)
{
    CMd5Lanes lanes(Md5LaneForm::Sse2, 1);
    const std::string message = PatternBytes(200);
    unsigned char digest[16];
    EXPECT_THROW(lanes.Give(0, Bytes(message), 2), std::logic_error) << "in no message";
    EXPECT_THROW(lanes.Begin(lanes.LaneCount()), std::out_of_range);
    lanes.Begin(0);
    lanes.Give(0, Bytes(message), 2);
    EXPECT_THROW(lanes.Give(0, Bytes(message) + 128, 1), std::logic_error) << "still holding blocks";
    EXPECT_THROW(lanes.Begin(0), std::logic_error);
    EXPECT_THROW(lanes.End(0, Bytes(message) + 128, 72, digest), std::logic_error);
    lanes.Run();
    lanes.End(0, Bytes(message) + 128, 72, digest);
    EXPECT_EQ(HexOf(digest), Md5Hex(message));
    EXPECT_THROW(lanes.End(0, nullptr, 0, digest), std::logic_error) << "free again";
}

#ifdef KORVANE_MD5_LANE_FORMS
// The SSE2 form, with one lane's words spoiled: as fast, but wrong.
void SpoiledSse2(Md5LaneWords& state, const unsigned char* const lanes[], std::size_t count)
{
    Md5LanesSse2(state, lanes, count);
    state.c[2] ^= 1;
}

// The SSE2 form, its work done eight times over: right, but slower by far
// more than a round's noise and than its four lanes gain.
void EightfoldSse2(Md5LaneWords& state, const unsigned char* const lanes[], std::size_t count)
{
    for (int i = 0; i < 7; ++i) {
        Md5LaneWords scratch = state;
        Md5LanesSse2(scratch, lanes, count);
    }
    Md5LanesSse2(state, lanes, count);
}

TEST(Md5LaneForms, TheTimingPicksTheFastestFormWhoseWordsAgree)
{
    std::vector<unsigned char> sample((kMd5SampleBlocks + kMd5MaxLanes - 1) * 64);
    FillMd5Sample(sample.data(), sample.size());
    const Md5LaneCandidate candidates[] = {{EightfoldSse2, 4}, {SpoiledSse2, 4}, {Md5LanesSse2, 4}};
    std::size_t breakEven[3] = {};
    EXPECT_EQ(FastestMd5Lanes(candidates, 3, Md5BlocksScalar, sample.data(), kMd5SampleBlocks, breakEven), 2u);
    EXPECT_EQ(breakEven[0], kMd5NeverBreaksEven) << "slower on 4 lanes than the scalar form on each";
    EXPECT_EQ(breakEven[1], kMd5NeverBreaksEven) << "disagrees";
    EXPECT_EQ(FastestMd5Lanes(candidates + 1, 1, Md5BlocksScalar, sample.data(), kMd5SampleBlocks, breakEven), 1u)
        << "none agrees";
    EXPECT_TRUE(Md5LaneFormSupported(FastestMd5LaneForm()));
}
#endif

}  // namespace
