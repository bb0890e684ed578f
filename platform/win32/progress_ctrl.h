// CProgressCtrl: the progress-bar control as a progress sink.
#pragma once

#include <windows.h>

#include <atomic>

#include "platform/sinks.h"

class CDataExchange;

class CProgressCtrl : public IProgressSink {
public:
    void SetRange(short lower, short upper);

    // Shows position, positions above the upper end as full. A message goes
    // to the control only when what it shows changes: from a worker thread
    // every message waits for the dialog's thread, and a job yields a
    // position per 1024 bytes. Any thread may call it.
    void SetPos(int position) override;

    int GetPos() const;

    HWND m_hWnd = nullptr;

private:
    std::atomic<short> m_upper{100};
    std::atomic<int> m_shown{-1};  // what the control shows; -1: not known
};

// Binds the control id of the exchange's dialog to the wrapper.
void DDX_Control(CDataExchange& exchange, int id, CProgressCtrl& control);
