// The main dialog at rest: its state right after start, keyboard focus and
// tab order, its icons, and painting while minimized.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <vector>

#include <gtest/gtest.h>

#include "dialog_driver.h"

namespace {

using MainDialog = MainDialogTest;

TEST_F(MainDialog, StartsWithAnEmptyBarEmptyBoxesAndTheFocusOnOk)
{
    PBRANGE range = {-1, -1};
    SendMessageA(Item(IDC_PROGRESS), PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 100);
    EXPECT_EQ(BarPosition(), 0);
    EXPECT_EQ(Text(IDC_PATH_EDIT), "");
    EXPECT_EQ(ResultText(), "");
    EXPECT_EQ(Focus(), Item(IDOK));
    EXPECT_EQ(ThreadStarts(), 0);
}

TEST_F(MainDialog, TabStopsRunOkCancelPathBrowseResultAndTheTabKeyFollowsThem)
{
    const std::vector<int> order = {IDOK, IDCANCEL, IDC_PATH_EDIT, IDC_BROWSE_BUTTON, IDC_RESULT_EDIT};
    for (size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(GetDlgCtrlID(GetNextDlgTabItem(Dialog(), Item(order[i]), FALSE)), order[(i + 1) % order.size()])
            << "after control " << order[i];
    }

    ASSERT_EQ(Focus(), Item(IDOK));
    std::vector<int> visited;
    for (size_t i = 1; i < order.size(); ++i) {
        const HWND before = Focus();
        PressKey(before, VK_TAB);
        ASSERT_TRUE(WaitFor([&] { return Focus() != before; }, kWindowDeadline)) << "Tab moved nothing";
        visited.push_back(GetDlgCtrlID(Focus()));
    }
    EXPECT_EQ(visited, std::vector<int>(order.begin() + 1, order.end()));
}

TEST_F(MainDialog, ShowsTheProgramIconAndOffersItWhileDragged)
{
    // A shared resource icon: loading it again gives the same handle.
    const HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(Dialog(), WM_GETICON, ICON_BIG, 0)), icon);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(Dialog(), WM_GETICON, ICON_SMALL, 0)), icon);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(Dialog(), WM_QUERYDRAGICON, 0, 0)), icon);
}

// Counts the WM_ICONERASEBKGND messages that the dialog sends itself while it
// paints its minimized icon.
std::atomic<int> g_iconErases{0};

LRESULT CALLBACK WatchIconErase(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && message->message == WM_ICONERASEBKGND && message->wParam != 0)
        ++g_iconErases;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(MainDialog, PaintsItsIconWhileMinimizedAndWorksOnWhenRestored)
{
    g_iconErases = 0;
    const HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, &WatchIconErase, nullptr, UiThread());
    ASSERT_NE(hook, nullptr);

    SendMessageA(Dialog(), WM_PAINT, 0, 0);
    EXPECT_EQ(g_iconErases.load(), 0) << "a dialog that is not minimized paints as usual";

    // Wine may restore a minimized window when X events arrive in between;
    // then the paint found it not minimized, and it is minimized again.
    const bool drawn = WaitFor(
        [&] {
            ShowWindow(Dialog(), SW_MINIMIZE);
            SendMessageA(Dialog(), WM_PAINT, 0, 0);
            return g_iconErases.load() > 0;
        },
        kWindowDeadline);
    EXPECT_TRUE(drawn) << "the minimized dialog did not draw its icon";
    UnhookWindowsHookEx(hook);

    ShowWindow(Dialog(), SW_RESTORE);
    EXPECT_FALSE(IsIconic(Dialog()));
    const std::string path = dir.Write("after.txt", "after");
    SubmitPath(path);
    EXPECT_TRUE(WaitForResult(Line("after.txt", Md5Hex("after"))));
}

}  // namespace
