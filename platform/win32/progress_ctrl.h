// CProgressCtrl: the progress-bar control as a progress sink.
#pragma once

#include <windows.h>

#include <atomic>

#include "platform/sinks.h"

class CDataExchange;

class CProgressCtrl : public IProgressSink {
public:
    void SetRange(short lower, short upper);

    // Shows position, positions above the upper end as full. Any thread may
    // call it: on the control's own thread the control changes at once; from
    // another the change is posted, so that a job never waits for the window,
    // and the control shows the latest position once its thread has handled
    // what came before. A message goes only when what the control shows
    // changes: a job yields a position per 1024 bytes.
    void SetPos(int position) override;

    // On the control's thread: shows the latest position now if a post of it
    // failed (the thread's queue was full). Call it only when the thread has
    // handled every message posted before: from a timer, say.
    void CatchUp();
    // Whether a position is still to be shown by CatchUp.
    bool Behind() const { return m_behind.load(); }

    HWND m_hWnd = nullptr;

private:
    int Shown(int position) const;

    std::atomic<short> m_upper{100};
    std::atomic<int> m_shown{-1};    // what the control shows or will show; -1: not known
    std::atomic<int> m_latest{0};    // the last position given
    std::atomic<bool> m_behind{false};  // a post failed: m_latest is not on its way
};

// Binds the control id of the exchange's dialog to the wrapper.
void DDX_Control(CDataExchange& exchange, int id, CProgressCtrl& control);
