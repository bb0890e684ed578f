// Drives the real main dialog from a test: the dialog runs modally on a UI
// thread of its own, and the test body sends it real window messages.
//
// THREADING RULES
// - The dialog's window, its controls and every box it opens belong to the UI
//   thread. The test thread reaches them only through messages (SendMessage
//   returns once the UI thread has handled the message) and through window
//   queries that are safe from any thread of the process.
// - A message whose handler runs a modal loop (the About box, a message box,
//   the open-file dialog) is sent from a PendingSend thread, so that the test
//   can find the box and dismiss it meanwhile.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win32/win_app.h"
#include "support/drop_files.h"
#include "support/test_files.h"
#include "ui/korvane_dlg.h"
#include "ui/test_dialog.h"
#include "ui/res/resource.h"

// Hang guards, far above what any step takes.
constexpr std::chrono::milliseconds kWindowDeadline{10000};
constexpr std::chrono::milliseconds kJobDeadline{20000};

// A text in the ANSI code page as UTF-16.
std::wstring WideFromAnsi(const std::string& text);
// Writes content to a file through the UTF-16 interface, in the long form
// (\\?\) that takes names past MAX_PATH; makes missing folders on the way.
bool WriteWide(const std::wstring& path, const std::string& content);

// A window's text, read as UTF-16 or in the ANSI code page.
std::wstring WideText(HWND window);
std::string AnsiText(HWND window);
// A window's class name.
std::wstring ClassName(HWND window);

// The visible top-level windows of a thread, other than except, that match.
std::vector<HWND> ThreadWindows(DWORD threadId, HWND except, const std::function<bool(HWND)>& match);
// Waits for a visible top-level window of the thread, owned by owner, whose
// caption is title; null when none comes.
HWND WaitForOwnedWindow(DWORD threadId, HWND owner, const std::wstring& title);
// The child of parent whose text is text, or null.
HWND FindChildWithText(HWND parent, const std::wstring& text);

// Sends a message from a thread of its own. The send gives up after a long
// hang guard, so the thread always ends.
class PendingSend {
public:
    PendingSend(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    ~PendingSend();
    PendingSend(const PendingSend&) = delete;
    PendingSend& operator=(const PendingSend&) = delete;

    // True once the handler has returned.
    bool Done() const { return m_done.load(); }
    // Waits for the handler to return; true when it did within the deadline.
    bool Wait(std::chrono::milliseconds deadline);

private:
    DWORD m_threadId;  // the thread of the window that handles the message
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

// Runs a CKorvaneDlg for each test, with an application object whose main
// window it is, as at start-up. Job threads are started through a counting
// starter by default.
class MainDialogTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Called before the dialog runs: the place to change its thread starter.
    virtual void BeforeRun() {}

    HWND Dialog() const { return m_window; }
    HWND Item(int id) const { return GetDlgItem(m_window, id); }
    DWORD UiThread() const { return m_uiThread.load(); }

    std::string Text(int id) const { return AnsiText(Item(id)); }
    void SetText(int id, const std::string& ansiText) const;
    std::string ResultText() const { return Text(IDC_RESULT_EDIT); }

    // Presses a button the way a mouse click does; returns once handled.
    void Click(int id) const;
    // Types path into the path box and presses OK.
    void SubmitPath(const std::string& path) const;
    // Drops files onto the dialog; returns once handled.
    void Drop(const std::vector<std::string>& paths) const;
    // Posts a key press (down, character, up) to a window, as the keyboard
    // would deliver it to the focused control.
    void PressKey(HWND target, WPARAM key) const;
    // The control that has the keyboard focus on the UI thread.
    HWND Focus() const;
    // The progress bar's position.
    int BarPosition() const;
    // Waits until the bar stands at position: jobs post their positions.
    bool WaitForBar(int position) const;

    // Waits until the result box shows expected; false when it never does.
    bool WaitForResult(const std::string& expected) const;
    // Waits until every job of the dialog has ended.
    bool WaitForJobsToEnd() { return dialog.Jobs().WaitIdle(kJobDeadline); }
    // Waits until the modal run has returned; its result is then ModalResult().
    bool WaitForEnd(std::chrono::milliseconds deadline = kWindowDeadline);
    INT_PTR ModalResult() const { return m_modalResult; }

    // How many job threads the dialog asked for since the test began.
    static int ThreadStarts();
    // The default starter: counts, then starts the thread for real.
    static bool CountingStart(ThreadRoutine routine, void* argument);

    TempDir dir;
    CWinApp app;
    TestDialog dialog;

private:
    std::thread m_ui;
    std::atomic<DWORD> m_uiThread{0};
    std::future<INT_PTR> m_ended;
    bool m_endSeen = false;
    INT_PTR m_modalResult = 0;
    HWND m_window = nullptr;
};
