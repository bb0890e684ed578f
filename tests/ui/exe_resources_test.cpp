// The version block, the icon group and the processor of the built
// korvane.exe, read from the file itself as Explorer and the loader read them:
// the UI tests link the resource objects too, but only the program's file
// shows what ships.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/other_process.h"
#include "ui/res/resource.h"

namespace {

constexpr WORD kVersion[] = {KORVANE_PROJECT_VERSION_NUMBERS};
constexpr wchar_t kVersionText[] = L"" KORVANE_PROJECT_VERSION;
constexpr wchar_t kStringTable[] = L"080403a8";  // Chinese (PRC), code page 936

// The string entries in the block's order; nullptr: a text of our choice.
const std::pair<const wchar_t*, const wchar_t*> kStrings[] = {
    {L"CompanyName", nullptr},
    {L"FileDescription", nullptr},
    {L"FileVersion", kVersionText},
    {L"InternalName", nullptr},
    {L"LegalCopyright", nullptr},
    {L"OriginalFilename", L"korvane.exe"},
    {L"ProductName", nullptr},
    {L"ProductVersion", kVersionText},
};

// korvane.exe of the same build (build/<preset>/app/ beside
// build/<preset>/tests/ui/).
std::string ProgramPath()
{
    return TestProgramFolder() + "..\\..\\app\\korvane.exe";
}

// A copy of one resource of the program, loaded as a data file; empty when it
// has none.
std::vector<BYTE> ProgramResource(LPCWSTR type, WORD id)
{
    const std::string path = ProgramPath();
    const HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    EXPECT_NE(module, nullptr) << "cannot load " << path << " as a data file: " << GetLastError();
    const HRSRC info = module ? FindResourceW(module, MAKEINTRESOURCEW(id), type) : nullptr;
    const auto* data = info ? static_cast<const BYTE*>(LockResource(LoadResource(module, info))) : nullptr;
    std::vector<BYTE> bytes;
    if (data)
        bytes.assign(data, data + SizeofResource(module, info));
    if (module)
        FreeLibrary(module);
    return bytes;
}

// The keys and places of the children of a node of a version block (length,
// value length, type, key, value, children; each part aligned to 4 bytes
// from the block's start).
std::vector<std::pair<std::wstring, const BYTE*>> Children(const BYTE* block, const BYTE* node)
{
    const auto align = [block](const BYTE* at) { return block + ((at - block + 3) & ~3); };
    const auto key = [](const BYTE* at) {
        std::wstring text;
        for (at += 6; at[0] || at[1]; at += 2)
            text += static_cast<wchar_t>(at[0] | at[1] << 8);
        return text;
    };
    WORD header[3];  // length, value length, type (1: a text, whose length counts characters)
    std::memcpy(header, node, sizeof header);
    const BYTE* at = align(align(node + 6 + 2 * (key(node).size() + 1)) + header[1] * (header[2] == 1 ? 2 : 1));
    std::vector<std::pair<std::wstring, const BYTE*>> children;
    while (at + 6 < node + header[0]) {
        WORD length = 0;
        std::memcpy(&length, at, sizeof length);
        children.emplace_back(key(at), at);
        at = align(at + std::max<WORD>(length, 6));
    }
    return children;
}

std::vector<std::wstring> Keys(const std::vector<std::pair<std::wstring, const BYTE*>>& children)
{
    std::vector<std::wstring> keys;
    for (const auto& child : children)
        keys.push_back(child.first);
    return keys;
}

TEST(ProgramFile, HasTheVersionBlockInChinese)
{
    std::vector<BYTE> block = ProgramResource(MAKEINTRESOURCEW(16) /* RT_VERSION */, VS_VERSION_INFO);
    ASSERT_GT(block.size(), 92u) << "no version block";

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
    ASSERT_EQ(size, sizeof *fixed);
    const DWORD high = MAKELONG(kVersion[1], kVersion[0]), low = MAKELONG(kVersion[3], kVersion[2]);
    EXPECT_EQ((std::vector<DWORD>{fixed->dwSignature, fixed->dwFileVersionMS, fixed->dwFileVersionLS,
                                  fixed->dwProductVersionMS, fixed->dwProductVersionLS, fixed->dwFileFlagsMask,
                                  fixed->dwFileFlags, fixed->dwFileOS, fixed->dwFileType, fixed->dwFileSubtype}),
              (std::vector<DWORD>{0xFEEF04BD, high, low, high, low, 0x3F, 0, VOS__WINDOWS32, VFT_APP, 0}));

    DWORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &size));
    ASSERT_EQ(size, 4u) << "one translation";
    EXPECT_EQ(*translation, MAKELONG(0x0804, 936));

    // One string table, holding the eight entries and nothing else.
    const auto top = Children(block.data(), block.data());
    const auto files = std::find_if(top.begin(), top.end(), [](const auto& c) { return c.first == L"StringFileInfo"; });
    ASSERT_NE(files, top.end());
    const auto tables = Children(block.data(), files->second);
    ASSERT_EQ(Keys(tables), std::vector<std::wstring>{kStringTable});
    std::vector<std::wstring> keys;
    for (const auto& [name, expected] : kStrings) {
        keys.push_back(name);
        const std::wstring path = std::wstring(L"\\StringFileInfo\\") + kStringTable + L"\\" + name;
        wchar_t* text = nullptr;
        ASSERT_TRUE(VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&text), &size) && text)
            << testing::PrintToString(keys.back());
        if (expected)
            EXPECT_STREQ(text, expected);
        else
            EXPECT_GT(std::wcslen(text), 0u) << testing::PrintToString(keys.back());
    }
    EXPECT_EQ(Keys(Children(block.data(), tables[0].second)), keys);
}

TEST(ProgramFile, HasTheIconGroupOfEverySize)
{
    const std::vector<BYTE> group = ProgramResource(MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */, IDR_MAINFRAME);
    ASSERT_GE(group.size(), 6u) << "no icon group " << IDR_MAINFRAME;
    WORD count = 0;
    std::memcpy(&count, group.data() + 4, sizeof count);
    ASSERT_EQ(group.size(), 6u + 14u * count);

    // Each entry's pixels and bits, and those of the image it names, from the
    // image's own header: a bitmap (twice as high, for its mask) or a PNG.
    std::vector<std::pair<int, int>> entries, images;
    for (WORD i = 0; i < count; ++i) {
        const BYTE* entry = group.data() + 6 + 14 * i;
        WORD bits = 0, id = 0;
        DWORD bytes = 0;
        std::memcpy(&bits, entry + 6, sizeof bits);
        std::memcpy(&bytes, entry + 8, sizeof bytes);
        std::memcpy(&id, entry + 12, sizeof id);
        entries.emplace_back(entry[0] ? entry[0] : 256, bits);
        const std::vector<BYTE> image = ProgramResource(MAKEINTRESOURCEW(3) /* RT_ICON */, id);
        ASSERT_EQ(image.size(), bytes) << "image " << id;
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
        if (std::memcmp(image.data(), "\x89PNG", 4) == 0) {
            const int width = image[16] << 24 | image[17] << 16 | image[18] << 8 | image[19];
            images.emplace_back(width, image[24] == 8 && image[25] == 6 ? 32 : 0);  // 8-bit RGBA
        } else {
            BITMAPINFOHEADER header;
            std::memcpy(&header, image.data(), sizeof header);
            images.emplace_back(header.biHeight == 2 * header.biWidth ? header.biWidth : 0, header.biBitCount);
        }
    }
    EXPECT_EQ(images, entries) << "the images are not what the group says";

    std::vector<std::pair<int, int>> expected = {{256, 32}};
    for (int pixels : {16, 24, 32, 48}) {
        for (int bits : {4, 8, 32})
            expected.emplace_back(pixels, bits);
    }
    std::sort(entries.begin(), entries.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(entries, expected);
}

// The processor the program is built for, from its file header, and the one
// its manifest names, are those of this test program: the suites tested the
// build they name. The line printed says which build a run of the suites ran.
TEST(ProgramFile, IsBuiltForTheProcessorOfTheseTests)
{
    const bool wide = sizeof(void*) == 8;
    std::ifstream file(ProgramPath(), std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    ASSERT_GE(bytes.size(), 0x40u) << "cannot read " << ProgramPath();
    DWORD header = 0;  // where the PE header starts: the DOS header's last field
    WORD machine = 0;
    std::memcpy(&header, &bytes[0x3C], sizeof header);
    ASSERT_TRUE(header + 6u <= bytes.size() && std::memcmp(&bytes[header], "PE\0\0", 4) == 0);
    std::memcpy(&machine, &bytes[header + 4], sizeof machine);
    std::cout << "korvane.exe: machine 0x" << std::hex << machine << ", these tests: " << (wide ? "x86-64" : "i686")
              << '\n';
    EXPECT_EQ(machine, wide ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386);

    const std::vector<BYTE> manifest = ProgramResource(MAKEINTRESOURCEW(24) /* RT_MANIFEST */, 1);
    const std::string text(manifest.begin(), manifest.end());
    EXPECT_NE(text.find(wide ? "processorArchitecture=\"amd64\"" : "processorArchitecture=\"x86\""),
              std::string::npos)
        << text;
}

}  // namespace
