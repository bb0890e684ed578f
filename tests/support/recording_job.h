// A job state whose sinks record what arrives, in place of the main dialog,
// and a gate for holding a job's thread.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "job/job_queue.h"
#include "job/job_state.h"

class RecordingSinks : public IProgressSink, public IResultSink {
public:
    void SetPos(int position) override;
    void AddResultLines(const std::string& lines, bool startsJob, bool endsJob) override;

    std::vector<int> Positions() const;
    // The whole text the sink would show after each call: every line since
    // its job's first.
    std::vector<std::string> Texts() const;
    // For each text, whether it started or ended its job: "s", "e", "se" or "".
    std::vector<std::string> Marks() const;
    std::string LastText() const;

    // Called on the job's thread with each position before it is recorded.
    std::function<void(int position)> onPosition;
    // Called on the job's thread with each text before it is recorded.
    std::function<void(const std::string& text)> onText;

private:
    mutable std::mutex m_lock;
    std::vector<int> m_positions;
    std::vector<std::string> m_texts;
    std::vector<std::string> m_marks;
    std::string m_text;  // the latest job's lines so far
};

// Sets g_pMainDlg to itself, as the main dialog does; its jobs run in jobs.
class RecordingJob final : public RecordingSinks, public CJobState {
public:
    RecordingJob() { g_pMainDlg = this; }

    IProgressSink& Progress() override { return *this; }
    IResultSink& Results() override { return *this; }
    bool StopRequested() const override { return jobs.StopRequested(); }

    CJobQueue jobs{*this};
};

// A gate that one thread waits at until another opens it.
class Gate {
public:
    void Open();
    void Wait();
    // Blocks until a thread waits at the gate.
    void AwaitArrival();

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_open = false;
    bool m_arrived = false;
};
