// A job state whose sinks only keep the last position: as cheap as a dialog
// that sends nothing, for the benchmarks. Sets g_pMainDlg to itself.
#pragma once

#include <string>

#include "job/job_state.h"

class CountingJob : public IProgressSink, public IResultSink, public CJobState {
public:
    CountingJob() { g_pMainDlg = this; }
    IProgressSink& Progress() override { return *this; }
    IResultSink& Results() override { return *this; }
    bool StopRequested() const override { return false; }
    void SetPos(int position) override { m_lastPosition = position; }
    void AddResultLines(const std::string&, bool, bool) override {}
    int m_lastPosition = 0;
};
