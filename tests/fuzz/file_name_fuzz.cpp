// Fuzz target: FileNameFromPath over any byte string, in code page 936 (GBK)
// and in a single-byte code page, against a model written the long way round:
// cut the path into characters first, then take what follows the last
// character that is a backslash or a slash. Whatever the model says, the name
// must be a suffix of the path, hold no separator character, and follow one
// directly unless it is the whole path.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/ansi.h"

namespace {

bool IsGbkLeadByte(unsigned char byte)
{
    return byte >= 0x81 && byte <= 0xFE;
}

bool IsNoLeadByte(unsigned char)
{
    return false;
}

struct Character {
    std::size_t start;
    std::size_t length;  // 1, or 2 for a lead byte and whatever byte follows it
};

std::vector<Character> Characters(const std::string& text, LeadBytePredicate isLeadByte)
{
    std::vector<Character> characters;
    std::size_t at = 0;
    while (at < text.size()) {
        const bool pair = isLeadByte(static_cast<unsigned char>(text[at])) && text.size() - at >= 2;
        characters.push_back({at, pair ? std::size_t{2} : std::size_t{1}});
        at += characters.back().length;
    }
    return characters;
}

bool IsSeparator(const std::string& text, const Character& c)
{
    return c.length == 1 && (text[c.start] == '\\' || text[c.start] == '/');
}

std::string ModelName(const std::string& path, LeadBytePredicate isLeadByte)
{
    const std::vector<Character> characters = Characters(path, isLeadByte);
    for (auto c = characters.rbegin(); c != characters.rend(); ++c) {
        if (IsSeparator(path, *c))
            return path.substr(c->start + 1);
    }
    return path;
}

[[noreturn]] void Fail(const char* what, const char* codePage, const std::string& path, const std::string& name)
{
    std::fprintf(stderr, "file_name_fuzz (%s): %s\n  path:", codePage, what);
    for (unsigned char byte : path)
        std::fprintf(stderr, " %02x", byte);
    std::fprintf(stderr, "\n  name:");
    for (unsigned char byte : name)
        std::fprintf(stderr, " %02x", byte);
    std::fputc('\n', stderr);
    std::abort();
}

void CheckName(const std::string& path, LeadBytePredicate isLeadByte, const char* codePage)
{
    const std::string name = FileNameFromPath(path, isLeadByte);

    if (name.size() > path.size() || path.compare(path.size() - name.size(), name.size(), name) != 0)
        Fail("the name is not a suffix of the path", codePage, path, name);

    for (const Character& c : Characters(name, isLeadByte)) {
        if (IsSeparator(name, c))
            Fail("the name holds a separator character", codePage, path, name);
    }

    if (name.size() < path.size()) {
        const std::size_t separatorAt = path.size() - name.size() - 1;
        bool follows = false;
        for (const Character& c : Characters(path, isLeadByte))
            follows = follows || (c.start == separatorAt && IsSeparator(path, c));
        if (!follows)
            Fail("the name does not follow a separator character", codePage, path, name);
    }

    if (name != ModelName(path, isLeadByte))
        Fail("the name is not what follows the last separator character", codePage, path, name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path(reinterpret_cast<const char*>(data), size);
    CheckName(path, &IsGbkLeadByte, "code page 936");
    CheckName(path, &IsNoLeadByte, "single-byte code page");
    return 0;
}
