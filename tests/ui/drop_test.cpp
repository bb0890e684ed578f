// DroppedFileNames: every name of a drop, whole and in order, in the ANSI code
// page, from lists as the shell writes them and from lists that are cut short;
// a name that the code page cannot hold.
#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ansi.h"
#include "platform/win32/drop.h"
#include "support/test_files.h"

namespace {

// A drop of raw list bytes after a DROPFILES record.
HDROP RawDrop(const std::string& list, bool wide)
{
    const HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size());
    auto* files = static_cast<DROPFILES*>(GlobalLock(memory));
    files->pFiles = sizeof(DROPFILES);
    files->fWide = wide;
    std::memcpy(files + 1, list.data(), list.size());
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

std::string WideList(const std::vector<std::wstring>& names)
{
    std::wstring list;
    for (const auto& name : names)
        list += name + L'\0';
    list += L'\0';
    return std::string(reinterpret_cast<const char*>(list.data()), list.size() * sizeof(wchar_t));
}

struct DropNames : testing::Test {
    std::vector<std::string> Names(HDROP drop)
    {
        std::vector<std::string> names = DroppedFileNames(drop);
        GlobalFree(drop);
        return names;
    }
};

TEST_F(DropNames, AnAnsiListGivesEveryNameInOrder)
{
    const std::string longName = "C:\\" + std::string(1000, 'x') + ".bin";
    const std::string list = std::string("C:\\a.txt") + '\0' + "D:\\dir" + '\0' + longName + '\0' + '\0';
    EXPECT_EQ(Names(RawDrop(list, false)), (std::vector<std::string>{"C:\\a.txt", "D:\\dir", longName}));
}

TEST_F(DropNames, AWideListIsGivenInTheAnsiCodePage)
{
    const std::vector<std::wstring> names = {L"C:\\数据\\表.txt", L"C:\\b.bin"};
    EXPECT_EQ(Names(RawDrop(WideList(names), true)),
              (std::vector<std::string>{AnsiFromWide(names[0].c_str()), "C:\\b.bin"}));
}

// No short form: '?' stands for what the code page lacks, and no file name
// holds one, so the job says that it cannot open the file, not that it is missing.
TEST_F(DropNames, AWideNameThatTheCodePageCannotHoldWithoutShortFormGetsAQuestionMark)
{
    ASSERT_EQ(GetACP(), 936u) << "run under a Chinese locale (LC_ALL=zh_CN.UTF-8)";
    TempDir dir;  // ASCII only: its path is the same in both code pages
    const std::wstring folder(dir.Path().begin(), dir.Path().end());
    EXPECT_EQ(Names(RawDrop(WideList({folder + L"\\한글.bin"}), true)),
              std::vector<std::string>{dir.Path() + "\\??.bin"});
}

TEST_F(DropNames, AnEmptyListHasNoNames)
{
    EXPECT_TRUE(Names(RawDrop(std::string(2, '\0'), false)).empty());
    EXPECT_TRUE(Names(RawDrop(std::string(4, '\0'), true)).empty());
}

TEST_F(DropNames, AListCutShortEndsWhereTheMemoryEnds)
{
    // No terminating zeros at all: nothing is read past the drop's memory.
    EXPECT_EQ(Names(RawDrop("C:\\a.txt", false)), std::vector<std::string>{"C:\\a.txt"});
    std::string wide = WideList({L"C:\\w.txt"});
    wide.resize(6 * sizeof(wchar_t) + 1);  // "C:\w.t" and half a character
    EXPECT_EQ(Names(RawDrop(wide, true)), std::vector<std::string>{"C:\\w.t"});
}

TEST_F(DropNames, ARecordWhoseListLiesOutsideTheDropHasNoNames)
{
    const HDROP drop = RawDrop(std::string("a") + '\0' + '\0', false);
    static_cast<DROPFILES*>(GlobalLock(drop))->pFiles = 1 << 20;
    GlobalUnlock(drop);
    EXPECT_TRUE(Names(drop).empty());
}

}  // namespace
