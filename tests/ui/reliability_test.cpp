// What users and the system throw at the real dialog: devices and pipes in
// place of files, files held or failing, relative and odd names, names the
// ANSI code page cannot hold; and commands in quick succession, after which
// no thread or handle may be left behind.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cwchar>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "dialog_driver.h"
#include "platform/ansi.h"
#include "platform/file.h"
#include "process_figures.h"
#include "support/other_process.h"

namespace {

// Removes a file written by WriteWide and the folders made for it, up to but
// not including stopAt.
void RemoveWide(const std::wstring& path, const std::wstring& stopAt)
{
    std::wstring longForm = L"\\\\?\\" + path;
    DeleteFileW(longForm.c_str());
    const std::wstring stop = L"\\\\?\\" + stopAt;
    for (size_t at = longForm.rfind(L'\\'); at != std::wstring::npos && at > stop.size();
         at = longForm.rfind(L'\\')) {
        longForm.resize(at);
        RemoveDirectoryW(longForm.c_str());
    }
}

// Records, on the UI thread, every text set into the result box and every
// position set on the bar, in order.
struct ControlLog {
    std::mutex lock;
    std::vector<std::string> texts;
    std::vector<int> positions;
    WNDPROC boxProc = nullptr;
    WNDPROC barProc = nullptr;
};
ControlLog g_log;

LRESULT CALLBACK LogResultBox(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETTEXT && lParam) {
        std::lock_guard<std::mutex> hold(g_log.lock);
        g_log.texts.emplace_back(reinterpret_cast<const char*>(lParam));
    }
    return CallWindowProcA(g_log.boxProc, window, message, wParam, lParam);
}

LRESULT CALLBACK LogBar(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == PBM_SETPOS) {
        std::lock_guard<std::mutex> hold(g_log.lock);
        g_log.positions.push_back(static_cast<int>(wParam));
    }
    return CallWindowProcA(g_log.barProc, window, message, wParam, lParam);
}

class Reliability : public MainDialogTest {
protected:
    void StartLogging()
    {
        ClearLog();
        std::lock_guard<std::mutex> hold(g_log.lock);
        g_log.boxProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(Item(IDC_RESULT_EDIT), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LogResultBox)));
        g_log.barProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(Item(IDC_PROGRESS), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LogBar)));
        ASSERT_NE(g_log.boxProc, nullptr);
        ASSERT_NE(g_log.barProc, nullptr);
    }

    static void ClearLog()
    {
        std::lock_guard<std::mutex> hold(g_log.lock);
        g_log.texts.clear();
        g_log.positions.clear();
    }

    static std::vector<std::string> LoggedTexts()
    {
        std::lock_guard<std::mutex> hold(g_log.lock);
        return g_log.texts;
    }

    static std::vector<int> LoggedPositions()
    {
        std::lock_guard<std::mutex> hold(g_log.lock);
        return g_log.positions;
    }

    // The bar's positions once it has stood at 100 for a while: jobs post
    // them, and the last may arrive after the job's last line.
    static std::vector<int> SettledPositions()
    {
        std::vector<int> positions = LoggedPositions();
        WaitFor(
            [&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                const std::vector<int> now = LoggedPositions();
                const bool settled = now == positions && !now.empty() && now.back() == 100;
                positions = now;
                return settled;
            },
            kWindowDeadline);
        return positions;
    }

    // Waits until the box shows one of the texts; returns it, or the box's
    // text when none came.
    std::string WaitForOneOf(const std::vector<std::string>& texts) const
    {
        std::string shown;
        WaitFor(
            [&] {
                shown = ResultText();
                return std::find(texts.begin(), texts.end(), shown) != texts.end();
            },
            kJobDeadline);
        return shown;
    }
};

// --- Devices and pipes ------------------------------------------------------------

// A named pipe of this process, with one waiting instance.
class NamedPipe {
public:
    NamedPipe()
        : m_path("\\\\.\\pipe\\korvane-test-" + std::to_string(GetCurrentProcessId())),
          m_pipe(CreateNamedPipeA(m_path.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT,
                                  PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr))
    {
    }
    ~NamedPipe()
    {
        if (m_pipe != INVALID_HANDLE_VALUE)
            CloseHandle(m_pipe);
    }
    NamedPipe(const NamedPipe&) = delete;
    NamedPipe& operator=(const NamedPipe&) = delete;

    bool IsOpen() const { return m_pipe != INVALID_HANDLE_VALUE; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    HANDLE m_pipe;
};

struct DeviceCase {
    const char* label;
    const char* path;  // null: the pipe's path
    const char* name;  // the name in the line; null: the pipe's
    std::vector<const wchar_t*> reasons;  // any one of them is right
};

const DeviceCase kDevices[] = {
    {"Console", "CON", "CON", {L"不是文件"}},
    {"Null", "NUL", "NUL", {L"不是文件"}},
    // A machine without a first serial port may not know the name at all.
    {"SerialPort", "COM1", "COM1", {L"不是文件", L"找不到文件"}},
    {"NamedPipe", nullptr, nullptr, {L"不是文件"}},
};

class Devices : public Reliability, public testing::WithParamInterface<std::tuple<DeviceCase, bool>> {};

TEST_P(Devices, GiveTheirReasonAndTheNextFileIsStillDigested)
{
    const DeviceCase& device = std::get<0>(GetParam());
    const bool dropped = std::get<1>(GetParam());
    NamedPipe pipe;
    ASSERT_TRUE(pipe.IsOpen());
    const std::string path = device.path ? device.path : pipe.Path();
    const std::string name = device.name ? device.name : pipe.Path().substr(pipe.Path().rfind('\\') + 1);

    const std::string after = dir.Write("after.txt", "after");
    const std::string afterLine = Line("after.txt", Md5Hex("after"));
    if (dropped) {
        Drop({path, after});
    } else {
        SubmitPath(path);
        SubmitPath(after);  // the list now holds the device, then the file
    }
    std::vector<std::string> accepted;
    for (const wchar_t* reason : device.reasons)
        accepted.push_back(Line(name, reason) + afterLine);
    const std::string shown = WaitForOneOf(accepted);
    EXPECT_TRUE(std::find(accepted.begin(), accepted.end(), shown) != accepted.end()) << shown;
    EXPECT_TRUE(WaitForJobsToEnd()) << "a job hangs on " << path;
}

INSTANTIATE_TEST_SUITE_P(
    Names, Devices, testing::Combine(testing::ValuesIn(kDevices), testing::Bool()),
    [](const testing::TestParamInfo<std::tuple<DeviceCase, bool>>& param) {
        return std::string(std::get<0>(param.param).label) + (std::get<1>(param.param) ? "Dropped" : "Typed");
    });

// --- Typed relative names and forward slashes --------------------------------------

// Sets the process's current folder, and sets it back.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::string& path)
    {
        char previous[MAX_PATH] = {};
        GetCurrentDirectoryA(MAX_PATH, previous);
        m_previous = previous;
        m_set = SetCurrentDirectoryA(path.c_str()) != FALSE;
    }
    ~CurrentFolder() { SetCurrentDirectoryA(m_previous.c_str()); }
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;
    bool IsSet() const { return m_set; }

private:
    std::string m_previous;
    bool m_set = false;
};

struct TypedName {
    const char* label;
    std::string (*typed)(const TempDir& dir);  // the text typed into the path box
    const char* name;                          // the name in its line
};

const TypedName kTypedNames[] = {
    {"ForwardSlash", [](const TempDir&) { return std::string("sub/x.bin"); }, "x.bin"},
    {"Backslash", [](const TempDir&) { return std::string("sub\\x.bin"); }, "x.bin"},
    {"DotSlash", [](const TempDir&) { return std::string("./sub/x.bin"); }, "x.bin"},
    {"UpAndDownAgain", [](const TempDir&) { return std::string("sub/../sub/deeper/../x.bin"); }, "x.bin"},
    {"MixedSeparators", [](const TempDir&) { return std::string("sub\\deeper/y.bin"); }, "y.bin"},
    {"BareName", [](const TempDir&) { return std::string("top.bin"); }, "top.bin"},
    {"AbsoluteWithForwardSlashes",
     [](const TempDir& dir) {
         std::string path = dir.PathOf("sub\\x.bin");
         std::replace(path.begin(), path.end(), '\\', '/');
         return path;
     },
     "x.bin"},
};

class TypedNames : public Reliability, public testing::WithParamInterface<TypedName> {};

TEST_P(TypedNames, OpenFromTheCurrentFolderAndNameTheFile)
{
    // Each file holds its own name, so that a line tells which one was read.
    const auto content = [](const std::string& name) { return name + PatternBytes(2500); };
    dir.MakeDir("sub\\deeper");
    dir.Write("sub\\x.bin", content("x.bin"));
    dir.Write("sub\\deeper\\y.bin", content("y.bin"));
    dir.Write("top.bin", content("top.bin"));
    CurrentFolder current(dir.Path());
    ASSERT_TRUE(current.IsSet());

    SubmitPath(GetParam().typed(dir));
    EXPECT_TRUE(WaitForResult(Line(GetParam().name, Md5Hex(content(GetParam().name))))) << ResultText();
    ASSERT_TRUE(WaitForJobsToEnd());
}

INSTANTIATE_TEST_SUITE_P(Relative, TypedNames, testing::ValuesIn(kTypedNames),
                         [](const testing::TestParamInfo<TypedName>& param) { return param.param.label; });

// --- Long names ---------------------------------------------------------------------

// Whether the 8-bit interface opens a path: Windows stops at MAX_PATH - 1
// characters unless long paths are enabled; Wine takes one more.
bool OpensThroughAnsi(const std::string& path)
{
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

class LongNames : public Reliability, public testing::WithParamInterface<size_t> {};

// The line names the file whole and gives its digest, also where the 8-bit
// interface does not open the path; the file after it is digested.
TEST_P(LongNames, AreDroppedWholeAndGiveTheirDigest)
{
    const size_t length = GetParam();
    // Folders of 200 characters until the rest fits one name; the name is
    // long too, so that a cut path would show a different one.
    std::string path = dir.Path();
    while (length - path.size() - 1 > 240)
        path += "\\" + std::string(200, 'd');
    const size_t nameLength = length - path.size() - 1;
    ASSERT_GT(nameLength, 100u) << "the temporary folder's path is too long for this case";
    const std::string name = std::string(nameLength - 4, 'n') + ".bin";
    path += "\\" + name;
    ASSERT_EQ(path.size(), length);

    const std::string content = PatternBytes(3000);
    ASSERT_TRUE(WriteWide(WideFromAnsi(path), content));
    const bool opens = OpensThroughAnsi(path);
    EXPECT_TRUE(opens || length >= MAX_PATH) << "a path of " << length << " characters must open";
    std::cout << "[ figures  ] a path of " << length << " characters " << (opens ? "opens" : "does not open")
              << " through the 8-bit interface" << std::endl;

    const std::string after = dir.Write("after.txt", "after");
    Drop({path, after});
    const std::string expected = Line(name, Md5Hex(content)) + Line("after.txt", Md5Hex("after"));
    EXPECT_TRUE(WaitForResult(expected)) << ResultText();
    ASSERT_TRUE(WaitForJobsToEnd());
    RemoveWide(WideFromAnsi(path), WideFromAnsi(dir.Path()));
}

INSTANTIATE_TEST_SUITE_P(Lengths, LongNames, testing::Values(size_t{259}, size_t{260}, size_t{1000}),
                         [](const testing::TestParamInfo<size_t>& param) {
                             return std::to_string(param.param) + "Characters";
                         });

// --- Names the ANSI code page cannot hold --------------------------------------------

struct ForeignName {
    const char* label;
    const wchar_t* name;
};

const ForeignName kForeignNames[] = {
    {"Korean", L"한글.bin"},
    {"Devanagari", L"क.bin"},
};

// Dropped as the shell sends them (UTF-16 names), such a file is digested
// under its short (8.3) name, which the code page holds. An 8-bit list made
// from them carries '?' in place of the characters that the code page lacks;
// no file name holds a '?': the system rejects the name, and the line says
// that the file cannot be opened, not that it is missing.
class ForeignNames : public Reliability, public testing::WithParamInterface<std::tuple<ForeignName, bool>> {};

TEST_P(ForeignNames, AreDigestedUnderTheirShortNameOrCannotBeOpened)
{
    ASSERT_EQ(GetACP(), 936u) << "run under a Chinese locale (LC_ALL=zh_CN.UTF-8)";
    const std::wstring wideName = std::get<0>(GetParam()).name;
    BOOL substituted = FALSE;
    WideCharToMultiByte(CP_ACP, 0, wideName.c_str(), -1, nullptr, 0, nullptr, &substituted);
    ASSERT_TRUE(substituted) << "the name must hold a character that code page 936 lacks";

    const std::wstring widePath = WideFromAnsi(dir.Path()) + L"\\" + wideName;
    ASSERT_TRUE(WriteWide(widePath, "abc"));
    const std::string after = dir.Write("after.txt", "after");
    std::string line = Line(AnsiFromWide(wideName.c_str()), L"无法打开");
    if (std::get<1>(GetParam())) {
        SendMessageA(Dialog(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeWideDrop({widePath, WideFromAnsi(after)})),
                     0);
        wchar_t shortPath[MAX_PATH] = {};
        ASSERT_GT(GetShortPathNameW(widePath.c_str(), shortPath, MAX_PATH), 0u);
        line = Line(AnsiFromWide(std::wcsrchr(shortPath, L'\\') + 1), Md5Hex("abc"));
    } else {
        Drop({AnsiFromWide(widePath.c_str()), after});
    }
    EXPECT_TRUE(WaitForResult(line + Line("after.txt", Md5Hex("after")))) << ResultText();
    ASSERT_TRUE(WaitForJobsToEnd());
}

INSTANTIATE_TEST_SUITE_P(Names, ForeignNames, testing::Combine(testing::ValuesIn(kForeignNames), testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<ForeignName, bool>>& param) {
                             return std::string(std::get<0>(param.param).label) +
                                    (std::get<1>(param.param) ? "WideDrop" : "AnsiDrop");
                         });

// --- Commands in quick succession -------------------------------------------------

// A file that takes a while to read yet costs no disk: sparse, all zeros.
constexpr std::uint64_t kZeros256MiB = std::uint64_t{256} << 20;
// head -c 268435456 /dev/zero | md5sum
constexpr const char* kZeros256MiBDigest = "1f5039e50bd66b290c56684d8550c6c2";

// Drops of two files each, with their own contents, so that every text tells
// which drop wrote it and how far it had come. The first file takes a while,
// so that the other drops come while it is read.
struct Drops {
    std::vector<std::vector<std::string>> paths;
    std::vector<std::vector<std::string>> texts;  // texts[d][k]: drop d's text after k + 1 lines
};

Drops MakeDrops(const TempDir& dir, int count)
{
    Drops drops;
    for (int d = 0; d < count; ++d) {
        drops.paths.emplace_back();
        drops.texts.emplace_back();
        std::string text;
        for (const char* part : {"a", "b"}) {
            const std::string name = "d" + std::to_string(d) + part + ".txt";
            if (d == 0 && part[0] == 'a') {
                drops.paths.back().push_back(dir.WriteSparse(name, kZeros256MiB));
                text += Line(name, kZeros256MiBDigest);
            } else {
                const std::string content = "drop " + std::to_string(d) + part + std::string(size_t(d) * 37, 'x');
                drops.paths.back().push_back(dir.Write(name, content));
                text += Line(name, Md5Hex(content));
            }
            drops.texts.back().push_back(text);
        }
    }
    return drops;
}

// Every text shown is one drop's lines so far, and they come in drop order:
// no job ran beside another or wrote another's lines. Returns how many drops
// were seen (a drop that came while another waited took its place).
int ExpectTextsInDropOrder(const std::vector<std::string>& shown, const Drops& drops)
{
    int seen = 0;
    int lastDrop = -1;
    size_t lastCount = 0;
    for (const std::string& text : shown) {
        int drop = -1;
        size_t count = 0;
        for (size_t d = 0; d < drops.texts.size() && drop < 0; ++d) {
            const auto& texts = drops.texts[d];
            const auto at = std::find(texts.begin(), texts.end(), text);
            if (at != texts.end()) {
                drop = static_cast<int>(d);
                count = static_cast<size_t>(at - texts.begin()) + 1;
            }
        }
        EXPECT_GE(drop, 0) << "a text that no drop wrote:\n" << text;
        EXPECT_TRUE(drop > lastDrop || (drop == lastDrop && count > lastCount))
            << "drop " << drop << " (" << count << " lines) after drop " << lastDrop << " (" << lastCount << ")";
        seen += drop != lastDrop;
        lastDrop = drop;
        lastCount = count;
    }
    return seen;
}

// The bar as jobs that run in turn move it: each job from 0 up to 100, never
// back during a job; jobs side by side would share the counters. Returns how
// many times it was set back to 0: the jobs that began (the first job's 0 is
// not sent when the bar stands at 0 already).
std::ptrdiff_t ExpectJobsInTurnOnTheBar(const std::vector<int>& positions)
{
    EXPECT_FALSE(positions.empty());
    for (size_t i = 1; i < positions.size(); ++i) {
        if (positions[i] == 0)
            EXPECT_EQ(positions[i - 1], 100) << "a job began before the one before it had read everything";
        else
            EXPECT_GT(positions[i], positions[i - 1]) << "the bar went back during a job";
    }
    EXPECT_TRUE(!positions.empty() && positions.back() == 100);
    return std::count(positions.begin(), positions.end(), 0);
}

TEST_F(Reliability, AHundredQuickDropsRunInTurnAndLeaveNoThreadOrHandleBehind)
{
    constexpr int kDrops = 100;
    // Warm up once: the first job makes what every later one reuses. (So
    // does the test framework: its first check of fatal failures on a thread
    // starts a thread of its own that watches it.)
    ASSERT_NO_FATAL_FAILURE(StartLogging());
    const DWORD idleThreads = ThreadCount();
    Drop({dir.Write("warm.txt", "warm")});
    ASSERT_TRUE(WaitForJobsToEnd());
    ASSERT_TRUE(WaitForResult(Line("warm.txt", Md5Hex("warm"))));
    WaitForThreadCountAtMost(idleThreads);  // the warm-up's worker may still be leaving

    const Drops drops = MakeDrops(dir, kDrops);
    ClearLog();
    const ProcessFigures before = CurrentFigures();
    for (const auto& paths : drops.paths)
        Drop(paths);
    ASSERT_TRUE(WaitForJobsToEnd());
    EXPECT_TRUE(WaitForResult(drops.texts.back().back())) << "the box must end with the last drop's lines";

    const int seen = ExpectTextsInDropOrder(LoggedTexts(), drops);
    // Positions and texts are posted and the latest text shown: a job's lines
    // may never be seen when the next job's come before the window takes
    // them, and the box may show the last text before the bar has taken the
    // last positions. So each job whose lines were seen began on the bar.
    const std::ptrdiff_t began = ExpectJobsInTurnOnTheBar(SettledPositions());
    EXPECT_GE(began, seen);
    EXPECT_LE(began, kDrops);

    const DWORD threads = WaitForThreadCountAtMost(before.threads);
    DWORD handles = HandleCount();
    WaitFor([&] { return (handles = HandleCount()) <= before.handles + 5; }, kWindowDeadline);
    std::cout << "[ figures  ] before: " << before << "; after: " << CurrentFigures() << std::endl;
    EXPECT_LE(threads, before.threads) << "a worker thread is left";
    EXPECT_LE(handles, before.handles + 5) << "handles leak";
}

TEST_F(Reliability, OkDuringALongJobQueuesItsJobBehindIt)
{
    const std::string big = dir.WriteSparse("big.bin", kZeros256MiB);
    const std::string small = dir.Write("small.txt", "small");
    const std::string bigLine = Line("big.bin", kZeros256MiBDigest);
    ASSERT_NO_FATAL_FAILURE(StartLogging());

    SubmitPath(big);
    ASSERT_TRUE(WaitFor([&] { return BarPosition() >= 1; }, kJobDeadline)) << "the big file is being read";
    SubmitPath(small);  // appended: the second job reads the big file again, then the small one
    const int barAtOk = BarPosition();
    ASSERT_LT(barAtOk, 100) << "the first job ended before OK was pressed; the case shows nothing";
    EXPECT_EQ(ThreadStarts(), 1) << "the waiting job has no thread of its own";
    EXPECT_EQ(ResultText(), "") << "nothing is written before the first job's file is read";

    ASSERT_TRUE(dialog.Jobs().WaitIdle(std::chrono::minutes(5)));
    EXPECT_TRUE(WaitForResult(bigLine + Line("small.txt", Md5Hex("small")))) << ResultText();
    EXPECT_TRUE(WaitForBar(100));

    // The bar tells the two jobs apart: up to 100, back to 0, up to 100
    // again. A second job running beside the first would have set it back
    // half-way.
    EXPECT_EQ(ExpectJobsInTurnOnTheBar(SettledPositions()), 1) << "the second job starts the bar afresh";

    // The first job's line came first, then the second job's lines.
    const std::vector<std::string> texts = LoggedTexts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.front(), bigLine);
    EXPECT_EQ(texts.back(), bigLine + Line("small.txt", Md5Hex("small")));
}

}  // namespace
