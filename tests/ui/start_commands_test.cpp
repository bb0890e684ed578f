// The start commands through the real dialog: OK and Enter, dropped files,
// the browse button with the open-file dialog, the list that they leave for
// the next job, a failed thread start, and names in code page 936.
#include <windows.h>

#include <cwchar>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialog_driver.h"
#include "platform/ansi.h"

namespace {

// The digest of "abc" from RFC 1321's test suite.
constexpr const char* kAbcDigest = "900150983cd24fb0d6963f7d28e17f72";

using StartCommands = MainDialogTest;

// --- OK and Enter -----------------------------------------------------------

TEST_F(StartCommands, OkWithAnEmptyPathBoxStartsNothing)
{
    Click(IDOK);
    EXPECT_EQ(ThreadStarts(), 0);
    EXPECT_TRUE(WaitForJobsToEnd());
    EXPECT_EQ(ResultText(), "");
    EXPECT_TRUE(IsWindowVisible(Dialog()));
}

TEST_F(StartCommands, OkDigestsTheTypedPathAndLeavesTheDialogOpen)
{
    const std::string path = dir.Write("abc.txt", "abc");
    SubmitPath(path);
    EXPECT_EQ(ThreadStarts(), 1);
    ASSERT_TRUE(WaitForResult(Line("abc.txt", kAbcDigest)));
    ASSERT_TRUE(WaitForJobsToEnd());
    EXPECT_EQ(BarPosition(), 100) << "the bar stays full after the job";
    EXPECT_EQ(Text(IDC_PATH_EDIT), path);
    EXPECT_TRUE(IsWindowVisible(Dialog())) << "OK never ends the dialog";
}

TEST_F(StartCommands, OkPressedTwiceDigestsTheFileTwice)
{
    const std::string path = dir.Write("twice.bin", PatternBytes(3000));
    const std::string line = Line("twice.bin", Md5Hex(PatternBytes(3000)));
    SubmitPath(path);
    ASSERT_TRUE(WaitForResult(line));
    ASSERT_TRUE(WaitForJobsToEnd());
    Click(IDOK);
    EXPECT_TRUE(WaitForResult(line + line)) << ResultText();
}

TEST_F(StartCommands, OkTakesAPathInOnePairOfQuotesWithoutThem)
{
    SubmitPath("\"\"");
    EXPECT_EQ(ThreadStarts(), 0) << "quotes around nothing leave nothing to digest";
    SubmitPath("\"" + dir.Write("quoted.txt", "abc") + "\"");
    EXPECT_TRUE(WaitForResult(Line("quoted.txt", kAbcDigest))) << ResultText();
}

TEST_F(StartCommands, EnterInThePathBoxStartsAJob)
{
    const std::string path = dir.Write("enter.txt", "abc");
    SetText(IDC_PATH_EDIT, path);
    SendMessageA(Dialog(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDC_PATH_EDIT)), TRUE);
    ASSERT_EQ(Focus(), Item(IDC_PATH_EDIT));
    PressKey(Focus(), VK_RETURN);
    EXPECT_TRUE(WaitForResult(Line("enter.txt", kAbcDigest)));
    EXPECT_TRUE(IsWindowVisible(Dialog()));
}

// --- Dropped files ------------------------------------------------------------

// One dropped name and the line that it must give.
struct DroppedName {
    std::string path;
    std::string line;
};

struct DropCase {
    const char* name;
    // Makes the names in dir; what it returns in keep lives until the job ends.
    std::function<std::vector<DroppedName>(TempDir& dir, std::shared_ptr<void>& keep)> make;
};

DroppedName DigestedFile(TempDir& dir, const std::string& name, const std::string& content)
{
    return {dir.Write(name, content), Line(name, Md5Hex(content))};
}

const DropCase kDropCases[] = {
    {"ThreeFilesInDropOrder",
     [](TempDir& dir, std::shared_ptr<void>&) {
         return std::vector<DroppedName>{DigestedFile(dir, "c.bin", PatternBytes(2048)),
                                         DigestedFile(dir, "a.txt", "abc"), DigestedFile(dir, "empty", "")};
     }},
    {"AFolder",
     [](TempDir& dir, std::shared_ptr<void>&) {
         return std::vector<DroppedName>{{dir.MakeDir("folder"), Line("folder", L"不是文件")}};
     }},
    {"AMissingFile",
     [](TempDir& dir, std::shared_ptr<void>&) {
         return std::vector<DroppedName>{{dir.PathOf("gone.txt"), Line("gone.txt", L"找不到文件")}};
     }},
    {"AFileThatAnotherProgramHolds",
     [](TempDir& dir, std::shared_ptr<void>& keep) {
         const std::string path = dir.Write("held.txt", "held");
         auto hold = std::make_shared<ExclusiveHold>(path);
         EXPECT_TRUE(hold->IsHeld());
         keep = hold;
         return std::vector<DroppedName>{{path, Line("held.txt", L"文件被占用")}};
     }},
    {"ANameLongerThan259Characters",
     [](TempDir& dir, std::shared_ptr<void>&) {
         // A path far past MAX_PATH; its name must come through whole.
         const std::string name = std::string(240, 'n') + ".bin";
         const std::string path = dir.PathOf(name);
         EXPECT_GT(path.size(), 259u);
         return std::vector<DroppedName>{{path, Line(name, L"找不到文件")}};
     }},
    {"MissingFilesBetweenOthersKeepTheirPlace",
     [](TempDir& dir, std::shared_ptr<void>&) {
         return std::vector<DroppedName>{DigestedFile(dir, "1.txt", "1"),
                                         {dir.PathOf("2.txt"), Line("2.txt", L"找不到文件")},
                                         DigestedFile(dir, "3.txt", "3")};
     }},
    {"TheSameFileTwice",
     [](TempDir& dir, std::shared_ptr<void>&) {
         const DroppedName once = DigestedFile(dir, "same.txt", "same");
         return std::vector<DroppedName>{once, once};
     }},
};

class DroppedFiles : public MainDialogTest, public testing::WithParamInterface<DropCase> {};

TEST_P(DroppedFiles, GiveOneLineEachInDropOrderAndLeaveThePathBox)
{
    std::shared_ptr<void> keep;
    const std::vector<DroppedName> names = GetParam().make(dir, keep);
    std::vector<std::string> paths;
    std::string expected;
    for (const DroppedName& name : names) {
        paths.push_back(name.path);
        expected += name.line;
    }
    SetText(IDC_PATH_EDIT, "typed");
    Drop(paths);
    EXPECT_EQ(ThreadStarts(), 1);
    EXPECT_TRUE(WaitForResult(expected)) << ResultText();
    EXPECT_EQ(Text(IDC_PATH_EDIT), "typed");
    ASSERT_TRUE(WaitForJobsToEnd());
}

INSTANTIATE_TEST_SUITE_P(Drop, DroppedFiles, testing::ValuesIn(kDropCases),
                         [](const testing::TestParamInfo<DropCase>& drop) { return drop.param.name; });

TEST_F(StartCommands, ADropOfNoFilesStartsAJobThatKeepsThePreviousLines)
{
    const std::string line = Line("abc.txt", kAbcDigest);
    SubmitPath(dir.Write("abc.txt", "abc"));
    ASSERT_TRUE(WaitForResult(line));
    ASSERT_TRUE(WaitForJobsToEnd());
    ASSERT_EQ(BarPosition(), 100);

    // A drop handle without a name list. (Wine counts an empty list of names
    // as one empty name, so the shell's empty list cannot be shown here.)
    const HDROP empty = static_cast<HDROP>(GlobalAlloc(GMEM_MOVEABLE, 0));
    ASSERT_EQ(DragQueryFileA(empty, 0xFFFFFFFF, nullptr, 0), 0u);
    SendMessageA(Dialog(), WM_DROPFILES, reinterpret_cast<WPARAM>(empty), 0);
    EXPECT_EQ(ThreadStarts(), 2);
    ASSERT_TRUE(WaitForJobsToEnd());
    EXPECT_EQ(ResultText(), line);
    EXPECT_TRUE(WaitForBar(0)) << "the empty job reset the bar";
}

TEST_F(StartCommands, TheSecondOfTwoQuickDropsHasTheLastWord)
{
    // The first job has enough to read that the second drop comes while it runs.
    const std::string big = PatternBytes(4 << 20);
    const std::string first1 = dir.Write("first1.bin", big);
    const std::string first2 = dir.Write("first2.bin", big);
    const std::string second1 = dir.Write("second1.txt", "abc");
    const std::string second2 = dir.Write("second2.txt", "second");
    Drop({first1, first2});
    Drop({second1, second2});
    ASSERT_TRUE(WaitForJobsToEnd());
    EXPECT_TRUE(WaitForResult(Line("second1.txt", kAbcDigest) + Line("second2.txt", Md5Hex("second"))))
        << ResultText();
}

// --- The list that the commands leave for the next job ------------------------

TEST_F(StartCommands, OkAfterADropDigestsTheDroppedFilesAgainThenTheTypedPath)
{
    const std::string a = dir.Write("a.txt", "a");
    const std::string b = dir.Write("b.txt", "b");
    const std::string c = dir.Write("c.txt", "c");
    const std::string dropped = Line("a.txt", Md5Hex("a")) + Line("b.txt", Md5Hex("b"));
    Drop({a, b});
    ASSERT_TRUE(WaitForResult(dropped));
    ASSERT_TRUE(WaitForJobsToEnd());
    SubmitPath(c);
    EXPECT_TRUE(WaitForResult(dropped + Line("c.txt", Md5Hex("c")))) << ResultText();
}

TEST_F(StartCommands, ADropForgetsWhatEarlierOksListed)
{
    const std::string a = dir.Write("a.txt", "a");
    const std::string b = dir.Write("b.txt", "b");
    SubmitPath(a);
    ASSERT_TRUE(WaitForResult(Line("a.txt", Md5Hex("a"))));
    ASSERT_TRUE(WaitForJobsToEnd());
    Drop({b});
    ASSERT_TRUE(WaitForJobsToEnd());
    EXPECT_TRUE(WaitForResult(Line("b.txt", Md5Hex("b")))) << ResultText();
}

// --- Browse -------------------------------------------------------------------

// Runs the browse button's open-file dialog: fileName is typed into it and
// confirmed, or the dialog is cancelled when fileName is empty.
class Browse : public MainDialogTest {
protected:
    void BrowseAndAnswer(const std::wstring& fileName)
    {
        PendingSend click(Item(IDC_BROWSE_BUTTON), BM_CLICK, 0, 0);
        const HWND picker = WaitForOwnedWindow(UiThread(), Dialog(), L"打开文件...");
        ASSERT_NE(picker, nullptr) << "no open-file dialog titled 打开文件...";
        EXPECT_FALSE(IsWindowEnabled(Dialog())) << "the open-file dialog is modal to the main dialog";
        EXPECT_NE(FindChildWithText(picker, L"支持的文件 (*.*)"), nullptr) << "the one filter";

        if (fileName.empty()) {
            PostMessageA(picker, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        } else {
            // The file name box: a combo box (cmb13) or a plain edit (edt1).
            HWND nameBox = GetDlgItem(picker, 0x047C);
            if (!nameBox)
                nameBox = GetDlgItem(picker, 0x0480);
            ASSERT_NE(nameBox, nullptr) << "no file name box";
            SetWindowTextW(nameBox, fileName.c_str());
            PostMessageA(picker, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
        ASSERT_TRUE(click.Wait(kWindowDeadline)) << "the open-file dialog did not close";
    }
};

TEST_F(Browse, PutsTheChosenPathInThePathBoxAndStartsNothing)
{
    const std::string a = dir.Write("a.txt", "a");
    const std::string chosen = dir.Write("chosen.txt", "abc");
    Drop({a});
    ASSERT_TRUE(WaitForResult(Line("a.txt", Md5Hex("a"))));
    ASSERT_TRUE(WaitForJobsToEnd());

    ASSERT_NO_FATAL_FAILURE(BrowseAndAnswer(WideFromAnsi(chosen)));
    EXPECT_EQ(_stricmp(Text(IDC_PATH_EDIT).c_str(), chosen.c_str()), 0) << Text(IDC_PATH_EDIT);
    EXPECT_EQ(ThreadStarts(), 1);

    // Browse emptied the list: OK digests the chosen file alone.
    Click(IDOK);
    EXPECT_TRUE(WaitForResult(Line("chosen.txt", kAbcDigest))) << ResultText();
}

TEST_F(Browse, AChosenNameOutsideTheCodePageGoesInAsItsShortForm)
{
    const std::wstring chosen = WideFromAnsi(dir.Path()) + L"\\한글.bin";  // no Korean in code page 936
    ASSERT_TRUE(WriteWide(chosen, "abc"));
    wchar_t shortPath[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameW(chosen.c_str(), shortPath, MAX_PATH), 0u) << "the volume has no short names";
    ASSERT_NO_FATAL_FAILURE(BrowseAndAnswer(chosen));
    EXPECT_EQ(Text(IDC_PATH_EDIT), AnsiFromWide(shortPath));
    Click(IDOK);
    EXPECT_TRUE(WaitForResult(Line(AnsiFromWide(std::wcsrchr(shortPath, L'\\') + 1), kAbcDigest))) << ResultText();
}

TEST_F(Browse, CancelledEmptiesThePathBoxSoThatOkDoesNothing)
{
    SetText(IDC_PATH_EDIT, dir.Write("typed.txt", "typed"));
    ASSERT_NO_FATAL_FAILURE(BrowseAndAnswer(L""));
    EXPECT_EQ(Text(IDC_PATH_EDIT), "");
    Click(IDOK);
    EXPECT_EQ(ThreadStarts(), 0);
}

// --- A thread that cannot be started ------------------------------------------

// The first job's thread cannot be made; later ones can.
class FailedThreadStart : public MainDialogTest {
protected:
    void BeforeRun() override
    {
        s_failNext = true;
        dialog.Jobs().SetThreadStarter([](ThreadRoutine routine, void* argument) {
            if (s_failNext.exchange(false))
                return false;
            return CountingStart(routine, argument);
        });
    }

    // Presses OK and counts the message boxes that say text until the
    // handler returns, dismissing each.
    int PressOkAndCountBoxes(const std::wstring& text)
    {
        PendingSend click(Item(IDOK), BM_CLICK, 0, 0);
        int boxes = 0;
        const bool returned = WaitFor(
            [&] {
                const auto found = ThreadWindows(UiThread(), Dialog(), [&](HWND w) {
                    return GetWindow(w, GW_OWNER) == Dialog() && FindChildWithText(w, text);
                });
                for (HWND box : found) {
                    ++boxes;
                    CheckIsAnOkBox(box);
                    SendMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
                    WaitFor([&] { return !IsWindowVisible(box); }, kWindowDeadline);
                }
                return click.Done();
            },
            kWindowDeadline);
        EXPECT_TRUE(returned) << "OK did not return";
        return boxes;
    }

    void CheckIsAnOkBox(HWND box)
    {
        EXPECT_EQ(AnsiText(box), app.m_appName) << "the program's name as the caption";
        EXPECT_FALSE(IsWindowEnabled(Dialog())) << "modal to the main dialog";
        int buttons = 0;
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            if (_wcsicmp(ClassName(child).c_str(), L"Button") == 0 && IsWindowVisible(child)) {
                ++buttons;
                EXPECT_EQ(GetDlgCtrlID(child), IDOK);
            }
        }
        EXPECT_EQ(buttons, 1);
    }

    static std::atomic<bool> s_failNext;
};

std::atomic<bool> FailedThreadStart::s_failNext{false};

TEST_F(FailedThreadStart, IsReportedOnceAndTheListKeepsItsEntry)
{
    const std::string path = dir.Write("abc.txt", "abc");
    SetText(IDC_PATH_EDIT, path);
    EXPECT_EQ(PressOkAndCountBoxes(L"线程创建失败"), 1);
    EXPECT_EQ(ThreadStarts(), 0);
    EXPECT_EQ(ResultText(), "");

    // The next start succeeds, says nothing, and digests the kept entry too.
    EXPECT_EQ(PressOkAndCountBoxes(L"线程创建失败"), 0);
    EXPECT_EQ(ThreadStarts(), 1);
    const std::string line = Line("abc.txt", kAbcDigest);
    EXPECT_TRUE(WaitForResult(line + line)) << ResultText();
}

// --- Names in code page 936 -----------------------------------------------------

// A character whose second byte in code page 936 is 0x5C, the byte of a
// backslash; found at run time from the code page itself.
std::wstring CharacterWithBackslashTrailByte()
{
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        const char bytes[2] = {static_cast<char>(lead), '\x5C'};
        wchar_t wide[2] = {};
        if (MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, bytes, 2, wide, 2) == 1)
            return std::wstring(1, wide[0]);
    }
    return {};
}

class GbkNames : public MainDialogTest, public testing::WithParamInterface<bool> {};

TEST_P(GbkNames, AreNotCutAtATrailByteThatLooksLikeABackslash)
{
    ASSERT_EQ(GetACP(), 936u) << "run under a Chinese locale (LC_ALL=zh_CN.UTF-8)";
    const std::wstring character = CharacterWithBackslashTrailByte();
    ASSERT_EQ(character.size(), 1u);

    // The folder's path in the ANSI code page is plain ASCII here.
    const std::wstring wideName = L"k" + character + L".bin";
    const std::wstring folder(dir.Path().begin(), dir.Path().end());
    const HANDLE file = CreateFileW((folder + L"\\" + wideName).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, "abc", 3, &written, nullptr);
    CloseHandle(file);

    const std::string name = AnsiFromWide(wideName.c_str());
    ASSERT_EQ(name.size(), 7u);
    ASSERT_EQ(name[2], '\\') << "the trail byte is 0x5C";
    const std::string path = dir.Path() + "\\" + name;
    if (GetParam())
        Drop({path});
    else
        SubmitPath(path);
    EXPECT_TRUE(WaitForResult(Line(name, kAbcDigest))) << ResultText();
}

INSTANTIATE_TEST_SUITE_P(Names, GbkNames, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& dropped) { return dropped.param ? "Dropped" : "Typed"; });

}  // namespace
