// The real program in a process of its own, driven from this one as a user
// would drive it: closed while it digests a large file, it ends at once, with
// exit code 0, every time; closed while its read blocks, it ends as soon as a
// bare window would; OK held down during a long job costs it no thread and no
// memory per press.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "dialog_driver.h"
#include "process_figures.h"
#include "support/other_process.h"
#include "support/slow_fs.h"
#include "ui/res/resource.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Closing mid-file must not wait for the file: reading the whole of it takes
// many times this long.
constexpr auto kCloseBound = 5s;
constexpr std::uint64_t kBigFile = std::uint64_t{16} << 30;

// korvane.exe of the same build: build/win32/app/ beside build/win32/tests/ui/.
std::string ProgramPath()
{
    return TestProgramFolder() + "..\\..\\app\\korvane.exe";
}

double Milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

// A visible window of the process whose caption is title, or null.
struct WindowSearch {
    DWORD processId;
    std::wstring title;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM context)
{
    auto& search = *reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search.processId || !IsWindowVisible(window) || WideText(window) != search.title)
        return TRUE;
    search.found = window;
    return FALSE;
}

HWND FindProcessWindow(DWORD processId, const std::wstring& title)
{
    WindowSearch search{processId, title, nullptr};
    EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A korvane.exe process; ended by force if a test leaves it running.
class ProgramProcess {
public:
    ProgramProcess()
    {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        std::string command = "\"" + ProgramPath() + "\"";
        m_started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &m_process) != FALSE;
    }
    ~ProgramProcess()
    {
        if (!m_started)
            return;
        if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(m_process.hProcess, 99);
            WaitForSingleObject(m_process.hProcess, 10000);
        }
        CloseHandle(m_process.hThread);
        CloseHandle(m_process.hProcess);
    }
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    HANDLE Handle() const { return m_process.hProcess; }

    // Sets dialog to the process's visible main dialog once it shows; fails
    // the test when the program did not start or showed none.
    void Show(HWND& dialog) const
    {
        ASSERT_TRUE(m_started) << "cannot start " << ProgramPath();
        WaitFor([&] { return (dialog = FindProcessWindow(m_process.dwProcessId, L"Korvane")) != nullptr; },
                kWindowDeadline);
        ASSERT_NE(dialog, nullptr) << "the program showed no dialog";
    }

    bool WaitForExit(std::chrono::milliseconds deadline) const
    {
        return WaitForSingleObject(m_process.hProcess, static_cast<DWORD>(deadline.count())) == WAIT_OBJECT_0;
    }

    DWORD ExitCode() const
    {
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(m_process.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION m_process = {};
    bool m_started = false;
};

enum class CloseBy { CloseMessage, CancelButton };

struct CloseRun {
    double startMs = 0;  // from the process start to its dialog showing
    double closeMs = 0;  // from the close to the end of the process
};

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Starts the program, has it digest bigPath, closes it once the bar moves
// and waits for the process to end. Checks what it can on the way.
void CloseMidJob(const std::string& bigPath, CloseBy way, CloseRun& run)
{
    const auto start = Clock::now();
    ProgramProcess program;
    HWND dialog = nullptr;
    ASSERT_NO_FATAL_FAILURE(program.Show(dialog));
    run.startMs = Milliseconds(Clock::now() - start);

    // Typed and confirmed as a user would: the text goes across as WM_SETTEXT.
    ASSERT_TRUE(SetDlgItemTextA(dialog, IDC_PATH_EDIT, bigPath.c_str()));
    SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    const HWND bar = GetDlgItem(dialog, IDC_PROGRESS);
    ASSERT_TRUE(WaitFor([&] { return SendMessageA(bar, PBM_GETPOS, 0, 0) > 0; }, kJobDeadline))
        << "the job did not start";
    ASSERT_LT(SendMessageA(bar, PBM_GETPOS, 0, 0), 100) << "the job ended before the close; the run shows nothing";

    const auto close = Clock::now();
    if (way == CloseBy::CloseMessage) {
        PostMessageA(dialog, WM_CLOSE, 0, 0);
    } else {
        const HWND cancel = GetDlgItem(dialog, IDCANCEL);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
    }
    ASSERT_TRUE(program.WaitForExit(std::chrono::duration_cast<std::chrono::milliseconds>(kJobDeadline)))
        << "the program did not end after the close";
    run.closeMs = Milliseconds(Clock::now() - close);
    EXPECT_EQ(program.ExitCode(), 0u) << "the program ended abnormally";
    EXPECT_LT(run.closeMs, Milliseconds(kCloseBound)) << "closing waited for the file";
}

// Closes the program mid-job runs times in a row, a fresh process each time,
// alternating the two ways to close; prints the times.
void CloseMidJobRepeatedly(int runs)
{
    TempDir dir;
    const std::string big = dir.WriteSparse("big.bin", kBigFile);
    std::vector<double> closeMs;
    std::vector<double> startMs;
    for (int i = 0; i < runs; ++i) {
        CloseRun run;
        SCOPED_TRACE("run " + std::to_string(i + 1));
        ASSERT_NO_FATAL_FAILURE(CloseMidJob(big, i % 2 == 0 ? CloseBy::CloseMessage : CloseBy::CancelButton, run));
        closeMs.push_back(run.closeMs);
        startMs.push_back(run.startMs);
    }
    std::cout << "[ figures  ] " << runs << " closes mid-job: median " << Median(closeMs) << " ms, max "
              << *std::max_element(closeMs.begin(), closeMs.end()) << " ms (start to dialog: median "
              << Median(startMs) << " ms)" << std::endl;
}

// A fresh process starts and ends in well under a second here: twenty runs
// fit the quick suite.
TEST(ClosingTheProgram, MidJobTwentyTimesInARowEndsEachProcessAtOnceWithExitCodeZero)
{
    CloseMidJobRepeatedly(20);
}

// A gigabyte of zeros (head -c 1073741824 /dev/zero | md5sum): long enough to
// read that the presses come while it runs, and it holds no disk space.
constexpr const char* kGiBOfZerosDigest = "cd573cfaace07e7949bc0c46028904ff";

TEST(HoldingEnter, AThousandOkPressesDuringALongJobCostNoThreadAndNoMemoryEach)
{
    constexpr int kPresses = 1000;
    TempDir dir;
    const std::string big = dir.WriteSparse("big.bin", std::uint64_t{1} << 30);
    ProgramProcess program;
    HWND dialog = nullptr;
    ASSERT_NO_FATAL_FAILURE(program.Show(dialog));
    const HWND bar = GetDlgItem(dialog, IDC_PROGRESS);
    const ProcessFigures before = FiguresOf(program.Handle());

    ASSERT_TRUE(SetDlgItemTextA(dialog, IDC_PATH_EDIT, big.c_str()));
    SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return SendMessageA(bar, PBM_GETPOS, 0, 0) > 0; }, kJobDeadline));
    ASSERT_TRUE(SetDlgItemTextA(dialog, IDC_PATH_EDIT, dir.Write("small.txt", "small").c_str()));
    for (int i = 0; i < kPresses; ++i) {
        DWORD_PTR ignored = 0;  // a message box would hold the press
        ASSERT_NE(SendMessageTimeoutA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0, 0, 10000, &ignored), 0) << i;
    }
    const ProcessFigures during = FiguresOf(program.Handle());
    ASSERT_LT(SendMessageA(bar, PBM_GETPOS, 0, 0), 100) << "the long job ended before the presses; no case";

    // The last press's job ran next, on the big file and a thousand small ones.
    // (GetWindowText does not read another process's edit control.)
    const size_t length =
        Line("big.bin", kGiBOfZerosDigest).size() + kPresses * Line("small.txt", Md5Hex("small")).size();
    const HWND box = GetDlgItem(dialog, IDC_RESULT_EDIT);
    EXPECT_TRUE(WaitFor([&] { return SendMessageA(box, WM_GETTEXTLENGTH, 0, 0) == LRESULT(length); }, 2min));
    WaitForThreadCountAtMost(before.threads, GetProcessId(program.Handle()));
    const ProcessFigures after = FiguresOf(program.Handle());
    std::cout << "[ figures  ] korvane.exe before: " << before << "\n[ figures  ] during " << kPresses
              << " presses: " << during << "\n[ figures  ] after:  " << after << std::endl;
    EXPECT_LE(during.threads, before.threads + 1) << "a thread per waiting job";
    EXPECT_LE(during.privateBytes, before.privateBytes + (8u << 20)) << "memory per waiting job";
    EXPECT_LE(after.threads, before.threads);
}

// --- A read that blocks, as on a dead share --------------------------------------

// How the user closes a program whose read blocks.
enum class BlockedClose { EscapeKey, CloseTwice, WithTheAboutBoxOpen };

// How long a process takes from a close to its end, on this display: a bare
// window's close, the program with nothing to do.
double BareCloseMs()
{
    static const double bare = [] {
        ProgramProcess program;
        HWND dialog = nullptr;
        program.Show(dialog);
        const auto close = Clock::now();
        PostMessageA(dialog, WM_CLOSE, 0, 0);
        program.WaitForExit(std::chrono::duration_cast<std::chrono::milliseconds>(kJobDeadline));
        return Milliseconds(Clock::now() - close);
    }();
    return bare;
}

class Closing : public testing::TestWithParam<BlockedClose> {};

TEST_P(Closing, EndsTheProcessWithinHalfASecondOfABareWindowsClose)
{
    const std::string blocks = SlowFsPath(kSlowFsBlocksName);
    if (blocks.empty())
        GTEST_SKIP() << SlowFsMissing();
    const double bare = BareCloseMs();

    ProgramProcess program;
    HWND dialog = nullptr;
    ASSERT_NO_FATAL_FAILURE(program.Show(dialog));
    ASSERT_TRUE(SetDlgItemTextA(dialog, IDC_PATH_EDIT, blocks.c_str()));
    SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    // The bar moves with the part before the block, then stands: the read is
    // blocked for a minute.
    const HWND bar = GetDlgItem(dialog, IDC_PROGRESS);
    ASSERT_TRUE(WaitFor([&] { return SendMessageA(bar, PBM_GETPOS, 0, 0) > 0; }, kJobDeadline));
    std::this_thread::sleep_for(300ms);

    const auto close = Clock::now();
    switch (GetParam()) {
    case BlockedClose::EscapeKey:
        PostMessageA(GetDlgItem(dialog, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
        break;
    case BlockedClose::CloseTwice:
        PostMessageA(dialog, WM_CLOSE, 0, 0);
        PostMessageA(dialog, WM_CLOSE, 0, 0);
        break;
    case BlockedClose::WithTheAboutBoxOpen: {
        PostMessageA(dialog, WM_SYSCOMMAND, 0x0010, 0);
        HWND about = nullptr;
        ASSERT_TRUE(WaitFor([&] { return (about = FindProcessWindow(GetProcessId(program.Handle()), L"关于 Korvane")) != nullptr; },
                            kWindowDeadline));
        PostMessageA(dialog, WM_CLOSE, 0, 0);  // as the task bar's close would
        std::this_thread::sleep_for(100ms);
        EXPECT_TRUE(IsWindow(about)) << "the About box is the user's to close";
        PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        break;
    }
    }
    ASSERT_TRUE(program.WaitForExit(std::chrono::duration_cast<std::chrono::milliseconds>(kJobDeadline)))
        << "the program waited for its read";
    const double closeMs = Milliseconds(Clock::now() - close);
    std::cout << "[ figures  ] close with a read blocked: " << closeMs << " ms; a bare window's: " << bare << " ms"
              << std::endl;
    EXPECT_LT(closeMs, bare + 500 + (GetParam() == BlockedClose::WithTheAboutBoxOpen ? 100 + bare : 0));
    EXPECT_EQ(program.ExitCode(), static_cast<DWORD>(CJobQueue::kBlockedExitStatus))
        << "it ended without waiting for the read, and said so";
}

INSTANTIATE_TEST_SUITE_P(SlowFsReadBlocked, Closing,
                         testing::Values(BlockedClose::EscapeKey, BlockedClose::CloseTwice,
                                         BlockedClose::WithTheAboutBoxOpen));

}  // namespace
