// The dialog driver: the UI thread, message helpers, window searches.
#include "dialog_driver.h"

#include <commctrl.h>

#include <cstdio>

#include "platform/read_pool.h"

using namespace std::chrono_literals;

namespace {

std::atomic<int> g_threadStarts{0};

// No send outlives this: a PendingSend thread always ends.
constexpr UINT kSendGuardMs = 60000;

struct WindowSearch {
    HWND except;
    const std::function<bool(HWND)>* match;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context)
{
    auto& search = *reinterpret_cast<WindowSearch*>(context);
    if (window != search.except && IsWindowVisible(window) && (*search.match)(window))
        search.found.push_back(window);
    return TRUE;
}

struct ChildSearch {
    const std::wstring* text;
    HWND found;
};

BOOL CALLBACK FindChild(HWND window, LPARAM context)
{
    auto& search = *reinterpret_cast<ChildSearch*>(context);
    if (WideText(window) == *search.text) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

// Dismisses every box that a window of the thread owns.
void CancelOwnedWindows(DWORD threadId)
{
    const auto owned = ThreadWindows(threadId, nullptr, [](HWND w) { return GetWindow(w, GW_OWNER) != nullptr; });
    for (HWND box : owned)
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

}  // namespace

std::wstring WideFromAnsi(const std::string& text)
{
    const int size = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring out(static_cast<size_t>(size > 0 ? size : 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &out[0], size);
    out.resize(out.size() - 1);
    return out;
}

// Writes content to a file through the UTF-16 interface, in the long form
// (\\?\) that takes names past MAX_PATH; makes missing folders on the way.
bool WriteWide(const std::wstring& path, const std::string& content)
{
    const std::wstring longForm = L"\\\\?\\" + path;
    for (size_t at = longForm.find(L'\\', 7); at != std::wstring::npos; at = longForm.find(L'\\', at + 1))
        CreateDirectoryW(longForm.substr(0, at).c_str(), nullptr);
    const HANDLE file =
        CreateFileW(longForm.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == content.size();
}

std::wstring WideText(HWND window)
{
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
    const int copied = GetWindowTextW(window, &text[0], static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

std::string AnsiText(HWND window)
{
    // Double-byte characters take two bytes each: ask for room enough.
    const int length = GetWindowTextLengthA(window);
    std::string text(static_cast<size_t>(length > 0 ? length : 0) * 2 + 1, '\0');
    const int copied = GetWindowTextA(window, &text[0], static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

std::wstring ClassName(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

std::vector<HWND> ThreadWindows(DWORD threadId, HWND except, const std::function<bool(HWND)>& match)
{
    WindowSearch search{except, &match, {}};
    if (threadId)
        EnumThreadWindows(threadId, &CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForOwnedWindow(DWORD threadId, HWND owner, const std::wstring& title)
{
    HWND found = nullptr;
    WaitFor(
        [&] {
            const auto windows = ThreadWindows(threadId, nullptr, [&](HWND w) {
                return GetWindow(w, GW_OWNER) == owner && WideText(w) == title;
            });
            found = windows.empty() ? nullptr : windows.front();
            return found != nullptr;
        },
        kWindowDeadline);
    return found;
}

HWND FindChildWithText(HWND parent, const std::wstring& text)
{
    ChildSearch search{&text, nullptr};
    EnumChildWindows(parent, &FindChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

PendingSend::PendingSend(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    : m_threadId(GetWindowThreadProcessId(window, nullptr)),
      m_thread([=] {
          DWORD_PTR result = 0;
          SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, kSendGuardMs, &result);
          m_done = true;
      })
{
}

PendingSend::~PendingSend()
{
    // A test that failed before it dismissed its box: dismiss it here, so
    // that the handler returns and the thread can be joined.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSendGuardMs);
    while (!Done() && std::chrono::steady_clock::now() < end) {
        CancelOwnedWindows(m_threadId);
        std::this_thread::sleep_for(50ms);
    }
    m_thread.join();
}

bool PendingSend::Wait(std::chrono::milliseconds deadline)
{
    return WaitFor([this] { return Done(); }, deadline);
}

void MainDialogTest::SetUp()
{
    CReadPool::Shared().StartOne();  // as the program does at start-up
    g_threadStarts = 0;
    app.m_pMainWnd = &dialog;
    dialog.Jobs().SetThreadStarter(&CountingStart);
    BeforeRun();

    std::promise<INT_PTR> ended;
    m_ended = ended.get_future();
    m_ui = std::thread([this, ended = std::move(ended)]() mutable {
        m_uiThread = GetCurrentThreadId();
        ended.set_value(dialog.DoModal());
    });
    // The dialog manager shows the window once WM_INITDIALOG has returned.
    ASSERT_TRUE(WaitFor(
        [this] {
            const auto windows = ThreadWindows(UiThread(), nullptr, [](HWND w) { return WideText(w) == L"Korvane"; });
            m_window = windows.empty() ? nullptr : windows.front();
            return m_window != nullptr;
        },
        kWindowDeadline))
        << "the main dialog did not appear";
}

void MainDialogTest::TearDown()
{
    if (!m_ui.joinable())
        return;
    // Dismiss whatever box a failed test left open, then cancel the dialog.
    const auto end = std::chrono::steady_clock::now() + kWindowDeadline;
    bool cancelled = false;
    while (!m_endSeen && m_ended.wait_for(20ms) != std::future_status::ready) {
        CancelOwnedWindows(UiThread());
        if (!cancelled) {
            for (HWND window : ThreadWindows(UiThread(), nullptr, [](HWND) { return true; }))
                PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            cancelled = true;
        }
        if (std::chrono::steady_clock::now() > end) {
            // Nothing can join a thread stuck in a modal loop: report and stop.
            std::fprintf(stderr, "FATAL: the main dialog did not end after Cancel\n");
            std::fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
    }
    m_ui.join();
}

void MainDialogTest::SetText(int id, const std::string& ansiText) const
{
    SetWindowTextA(Item(id), ansiText.c_str());
}

void MainDialogTest::Click(int id) const
{
    SendMessageA(Item(id), BM_CLICK, 0, 0);
}

void MainDialogTest::SubmitPath(const std::string& path) const
{
    SetText(IDC_PATH_EDIT, path);
    Click(IDOK);
}

void MainDialogTest::Drop(const std::vector<std::string>& paths) const
{
    SendMessageA(m_window, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(paths)), 0);
}

void MainDialogTest::PressKey(HWND target, WPARAM key) const
{
    // The dialog manager acts on the key-down; a real key press brings no
    // character message for the keys that it handles.
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(static_cast<UINT>(key), MAPVK_VK_TO_VSC)) << 16;
    PostMessageA(target, WM_KEYDOWN, key, scan | 1);
    PostMessageA(target, WM_KEYUP, key, scan | 1 | (LPARAM{3} << 30));
}

HWND MainDialogTest::Focus() const
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(UiThread(), &info) ? info.hwndFocus : nullptr;
}

int MainDialogTest::BarPosition() const
{
    return static_cast<int>(SendMessageA(Item(IDC_PROGRESS), PBM_GETPOS, 0, 0));
}

bool MainDialogTest::WaitForBar(int position) const
{
    return WaitFor([&] { return BarPosition() == position; }, kWindowDeadline);
}

bool MainDialogTest::WaitForResult(const std::string& expected) const
{
    return WaitFor([&] { return ResultText() == expected; }, kJobDeadline);
}

bool MainDialogTest::WaitForEnd(std::chrono::milliseconds deadline)
{
    if (!m_endSeen) {
        if (m_ended.wait_for(deadline) != std::future_status::ready)
            return false;
        m_modalResult = m_ended.get();
        m_endSeen = true;
    }
    return true;
}

int MainDialogTest::ThreadStarts()
{
    return g_threadStarts.load();
}

bool MainDialogTest::CountingStart(ThreadRoutine routine, void* argument)
{
    ++g_threadStarts;
    return StartThread(routine, argument);
}
