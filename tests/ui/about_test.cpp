// The About item of the system menu and the About box that it opens.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialog_driver.h"

namespace {

const wchar_t kAboutTitle[] = L"关于 Korvane";

using AboutItem = MainDialogTest;

TEST_F(AboutItem, EndsTheSystemMenuAfterASeparator)
{
    const HMENU menu = GetSystemMenu(Dialog(), FALSE);
    ASSERT_NE(menu, nullptr);
    const int count = GetMenuItemCount(menu);
    ASSERT_GE(count, 3) << "the system's own items come first";

    EXPECT_TRUE(GetMenuState(menu, static_cast<UINT>(count - 2), MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ(GetMenuItemID(menu, count - 1), 0x0010u);
    wchar_t text[64] = {};
    GetMenuStringW(menu, static_cast<UINT>(count - 1), text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"关于 Korvane(&A)...");
}

// Every system command that masks to the About command's 16 opens the box.
class AboutCommand : public MainDialogTest, public testing::WithParamInterface<WPARAM> {};

TEST_P(AboutCommand, OpensTheAboutBoxOverTheMainDialog)
{
    PendingSend command(Dialog(), WM_SYSCOMMAND, GetParam(), 0);
    const HWND about = WaitForOwnedWindow(UiThread(), Dialog(), kAboutTitle);
    ASSERT_NE(about, nullptr) << "no About box owned by the main dialog";
    EXPECT_FALSE(IsWindowEnabled(Dialog())) << "modal";
    PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(command.Wait(kWindowDeadline));
    EXPECT_TRUE(IsWindowEnabled(Dialog()));
    EXPECT_TRUE(IsWindowVisible(Dialog()));
}

std::string CommandName(const testing::TestParamInfo<WPARAM>& command)
{
    return std::to_string(command.param);
}

// The command itself, the four low bits set, and every bit above the mask set.
INSTANTIATE_TEST_SUITE_P(SystemCommands, AboutCommand, testing::Values<WPARAM>(0x0010, 0x001F, 0xFFFF001F),
                         CommandName);

// Commands that mask to something else get the system's handling: none of
// these opens the box, so the send returns.
class OtherSystemCommand : public MainDialogTest, public testing::WithParamInterface<WPARAM> {};

TEST_P(OtherSystemCommand, OpensNoBox)
{
    PendingSend command(Dialog(), WM_SYSCOMMAND, GetParam(), 0);
    EXPECT_TRUE(command.Wait(kWindowDeadline)) << "the handler ran a modal loop";
    EXPECT_TRUE(ThreadWindows(UiThread(), Dialog(), [](HWND) { return true; }).empty());
    EXPECT_TRUE(IsWindowVisible(Dialog()));
}

// Just below and just above the masked range.
INSTANTIATE_TEST_SUITE_P(SystemCommands, OtherSystemCommand, testing::Values<WPARAM>(0x000F, 0x0020), CommandName);

// How the About box is dismissed.
enum class Dismissal { OkButton, EscapeKey, CloseBox };

class AboutBox : public MainDialogTest, public testing::WithParamInterface<Dismissal> {
protected:
    HWND OpenAbout(std::unique_ptr<PendingSend>& command)
    {
        command = std::make_unique<PendingSend>(Dialog(), WM_SYSCOMMAND, 0x0010, 0);
        return WaitForOwnedWindow(UiThread(), Dialog(), kAboutTitle);
    }
};

TEST_P(AboutBox, NamesTheProgramAndItsVersionAndEndsEveryWay)
{
    std::unique_ptr<PendingSend> command;
    const HWND about = OpenAbout(command);
    ASSERT_NE(about, nullptr);

    EXPECT_NE(FindChildWithText(about, L"Korvane，1.0 版"), nullptr);
    const HWND ok = GetDlgItem(about, IDOK);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(WideText(ok), L"确定");
    EXPECT_EQ(Focus(), ok) << "the only tab stop has the focus";
    EXPECT_EQ(GetNextDlgTabItem(about, ok, FALSE), ok);
    // The icon static shows the program's icon.
    const HWND icon = GetWindow(about, GW_CHILD);
    EXPECT_NE(reinterpret_cast<HICON>(SendMessageA(icon, STM_GETICON, 0, 0)), nullptr);

    switch (GetParam()) {
    case Dismissal::OkButton:
        PostMessageA(ok, BM_CLICK, 0, 0);
        break;
    case Dismissal::EscapeKey:
        PressKey(ok, VK_ESCAPE);
        break;
    case Dismissal::CloseBox:
        PostMessageA(about, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    }
    EXPECT_TRUE(command->Wait(kWindowDeadline)) << "the About box stayed";
    EXPECT_FALSE(IsWindow(about));
    EXPECT_TRUE(IsWindowVisible(Dialog())) << "closing the About box leaves the main dialog";
}

std::string DismissalName(const testing::TestParamInfo<Dismissal>& dismissal)
{
    const char* const names[] = {"OkButton", "EscapeKey", "CloseBox"};
    return names[static_cast<int>(dismissal.param)];
}

INSTANTIATE_TEST_SUITE_P(Dismissals, AboutBox,
                         testing::Values(Dismissal::OkButton, Dismissal::EscapeKey, Dismissal::CloseBox),
                         DismissalName);

TEST_F(AboutItem, JobsGoOnBehindTheAboutBox)
{
    PendingSend command(Dialog(), WM_SYSCOMMAND, 0x0010, 0);
    const HWND about = WaitForOwnedWindow(UiThread(), Dialog(), kAboutTitle);
    ASSERT_NE(about, nullptr);

    Drop({dir.Write("behind.txt", "behind")});
    EXPECT_TRUE(WaitForResult(Line("behind.txt", Md5Hex("behind"))));
    EXPECT_TRUE(IsWindowVisible(about));

    PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(command.Wait(kWindowDeadline));
}

}  // namespace
