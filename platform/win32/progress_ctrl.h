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

    HWND m_hWnd = nullptr;

private:
    std::atomic<short> m_upper{100};
    std::atomic<int> m_shown{-1};  // what the control shows; -1: not known
};

// Binds the control id of the exchange's dialog to the wrapper.
void DDX_Control(CDataExchange& exchange, int id, CProgressCtrl& control);
