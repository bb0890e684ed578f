// Ending the main dialog: every way to close it gives IDCANCEL, and closing
// while a job runs stops the job, drops the waiting ones and waits for their
// threads before the window goes.
#include <windows.h>

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialog_driver.h"

namespace {

enum class CloseBy { CancelButton, EscapeKey, SystemMenuClose, CloseMessage };

class ClosingTheDialog : public MainDialogTest, public testing::WithParamInterface<CloseBy> {};

TEST_P(ClosingTheDialog, EndsTheModalRunWithCancel)
{
    switch (GetParam()) {
    case CloseBy::CancelButton:
        Click(IDCANCEL);
        break;
    case CloseBy::EscapeKey:
        PressKey(Focus(), VK_ESCAPE);
        break;
    case CloseBy::SystemMenuClose:
        PostMessageA(Dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    case CloseBy::CloseMessage:
        PostMessageA(Dialog(), WM_CLOSE, 0, 0);
        break;
    }
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(ModalResult(), IDCANCEL);
    EXPECT_FALSE(IsWindow(Dialog()));
}

std::string CloseName(const testing::TestParamInfo<CloseBy>& way)
{
    const char* const names[] = {"CancelButton", "EscapeKey", "SystemMenuClose", "CloseMessage"};
    return names[static_cast<int>(way.param)];
}

INSTANTIATE_TEST_SUITE_P(Ways, ClosingTheDialog,
                         testing::Values(CloseBy::CancelButton, CloseBy::EscapeKey, CloseBy::SystemMenuClose,
                                         CloseBy::CloseMessage),
                         CloseName);

// Records every text that reaches the result box, up to the window's end.
std::mutex g_resultLock;
std::vector<std::string> g_resultTexts;
WNDPROC g_resultBoxProc = nullptr;

LRESULT CALLBACK RecordResultText(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETTEXT && lParam) {
        std::lock_guard<std::mutex> lock(g_resultLock);
        g_resultTexts.emplace_back(reinterpret_cast<const char*>(lParam));
    }
    return CallWindowProcA(g_resultBoxProc, window, message, wParam, lParam);
}

class ClosingDuringAJob : public MainDialogTest {
protected:
    void RecordResultBox()
    {
        g_resultTexts.clear();
        g_resultBoxProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
            Item(IDC_RESULT_EDIT), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordResultText)));
        ASSERT_NE(g_resultBoxProc, nullptr);
    }

    static std::vector<std::string> ResultTexts()
    {
        std::lock_guard<std::mutex> lock(g_resultLock);
        return g_resultTexts;
    }
};

TEST_F(ClosingDuringAJob, StopsTheJobDropsTheWaitingOneAndWaitsForThem)
{
    ASSERT_NO_FATAL_FAILURE(RecordResultBox());
    const std::string first = dir.Write("first.txt", "first");
    // Far more than can be read before the dialog closes; holds no data.
    const std::string big = dir.WriteSparse("big.bin", std::uint64_t{2} << 30);
    const std::string queued = dir.Write("queued.txt", "queued");
    const std::string firstLine = Line("first.txt", Md5Hex("first"));

    Drop({first, big});
    ASSERT_TRUE(WaitForResult(firstLine));
    ASSERT_TRUE(WaitFor([&] { return BarPosition() >= 1; }, kJobDeadline)) << "the big file is being read";
    Drop({queued});  // waits for the running job, on no thread of its own
    EXPECT_EQ(ThreadStarts(), 1);

    PostMessageA(Dialog(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(WaitForEnd()) << "the dialog did not end while a job ran";
    EXPECT_EQ(ModalResult(), IDCANCEL);
    // The job stops at its next chunk while the window closes, and the job
    // state waits for it at most kEndWait when it goes: the window may be
    // gone a moment before the worker is.
    EXPECT_TRUE(dialog.Jobs().WaitIdle(CJobQueue::kEndWait)) << "a worker outlived the wait for it";

    // The cut file and the dropped job wrote nothing.
    EXPECT_EQ(ResultTexts(), std::vector<std::string>{firstLine});
}

}  // namespace
