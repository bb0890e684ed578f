// FileNameFromPath: the name is what follows the last separator character,
// whatever the second byte of a double-byte character is; PathFromTypedText.
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <utility>

#include "platform/ansi.h"

namespace {

struct NameCase {
    std::string path;
    std::string name;
};

std::ostream& operator<<(std::ostream& out, const NameCase& c)
{
    return out << testing::PrintToString(c.path);
}

bool IsGbkLeadByte(unsigned char byte)
{
    return byte >= 0x81 && byte <= 0xFE;
}

class FileName : public testing::TestWithParam<NameCase> {};

TEST_P(FileName, IsWhatFollowsTheLastSeparatorCharacter)
{
    EXPECT_EQ(FileNameFromPath(GetParam().path, &IsGbkLeadByte), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Ansi, FileName,
    testing::Values(NameCase{"C:\\data\\e.txt", "e.txt"}, NameCase{"x.bin", "x.bin"},
                    NameCase{"\\x.bin", "x.bin"}, NameCase{"C:/data/e.txt", "e.txt"},
                    NameCase{"C:\\data/sub\\e.txt", "e.txt"}, NameCase{"C:\\data\\", ""}, NameCase{"", ""},
                    // 0x955C is one character whose second byte is 0x5C.
                    NameCase{"C:\\\x95\x5c\\a.txt", "a.txt"}, NameCase{"C:\\a\\\x95\x5c.txt", "\x95\x5c.txt"},
                    NameCase{"C:\\a\\b\x95\x5c", "b\x95\x5c"}, NameCase{"\x95\x5c\x95\x5c", "\x95\x5c\x95\x5c"},
                    // A lead byte at the very end has no trail byte to take.
                    NameCase{"a\\b\x95", "b\x95"}, NameCase{"a\x95\\b", "a\x95\\b"}));

TEST(Ansi, PathFromTypedTextTakesOffOnePairOfSurroundingQuotesAndNothingElse)
{
    const std::pair<std::string, std::string> cases[] = {
        {"\"C:\\a b\\x.txt\"", "C:\\a b\\x.txt"}, {"\"\"", ""}, {"C:\\x.txt", "C:\\x.txt"},
        {"\"", "\""}, {"\"a\"b\"", "\"a\"b\""}, {"\"\"a\"\"", "\"\"a\"\""},
        {"\"a", "\"a"}, {" \"a\" ", " \"a\" "},
    };
    for (const auto& [typed, path] : cases)
        EXPECT_EQ(PathFromTypedText(typed), path) << typed;
}

}  // namespace
