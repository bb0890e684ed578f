// CProgressCtrl.
#include "platform/win32/progress_ctrl.h"

#include <commctrl.h>

#include <algorithm>

#include "platform/win32/dialog.h"

void CProgressCtrl::SetRange(short lower, short upper)
{
    m_upper = upper;
    m_shown = -1;
    SendMessageA(m_hWnd, PBM_SETRANGE, 0, MAKELPARAM(lower, upper));
}

int CProgressCtrl::Shown(int position) const
{
    return std::min(position, static_cast<int>(m_upper.load(std::memory_order_relaxed)));
}

void CProgressCtrl::SetPos(int position)
{
    const int shown = Shown(position);
    m_latest.store(shown, std::memory_order_relaxed);
    // Asked every 1024 bytes, mostly with what the bar shows already: a plain
    // load sees that without the locked exchange.
    if (m_shown.load(std::memory_order_relaxed) == shown || m_shown.exchange(shown) == shown)
        return;
    const auto wParam = static_cast<WPARAM>(shown);
    if (GetWindowThreadProcessId(m_hWnd, nullptr) == GetCurrentThreadId()) {
        SendMessageA(m_hWnd, PBM_SETPOS, wParam, 0);
    } else if (!PostMessageA(m_hWnd, PBM_SETPOS, wParam, 0)) {
        // Not on its way: the next position goes out whatever it is, and
        // CatchUp shows this one if no other comes.
        m_shown = -1;
        m_behind = true;
    }
}

void CProgressCtrl::CatchUp()
{
    if (!m_behind.exchange(false))
        return;
    const int latest = m_latest.load();
    m_shown = latest;
    SendMessageA(m_hWnd, PBM_SETPOS, static_cast<WPARAM>(latest), 0);
}

void DDX_Control(CDataExchange& exchange, int id, CProgressCtrl& control)
{
    control.m_hWnd = exchange.Dialog().GetDlgItem(id);
}
