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

void CProgressCtrl::SetPos(int position)
{
    const int shown = std::min(position, static_cast<int>(m_upper.load()));
    if (m_shown.exchange(shown) != shown)
        SendMessageA(m_hWnd, PBM_SETPOS, static_cast<WPARAM>(shown), 0);
}

int CProgressCtrl::GetPos() const
{
    return static_cast<int>(SendMessageA(m_hWnd, PBM_GETPOS, 0, 0));
}

void DDX_Control(CDataExchange& exchange, int id, CProgressCtrl& control)
{
    control.m_hWnd = exchange.Dialog().GetDlgItem(id);
}
