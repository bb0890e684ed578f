// CResultPacer: hands a job's result text from the job's thread to the
// window's thread, so that the job never waits for the window and the window
// shows the latest text.
//
// Setting a text costs the window more the longer the text is: the edit
// control lays out every line on each set. Setting the whole text after each
// of 10,000 small files made a batch quadratic. So until a job's last line a
// new text is shown only after a pause of ten times what the last set cost (at
// least kMinPause ms); the texts that arrive meanwhile are shown as one. A
// job's last text is shown at once.
//
// THREADING: SetResultText is called on the job's thread, Take and Shown on
// the window's. Everything is guarded by m_lock; wake and now are called with
// it held.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/sinks.h"
#include "platform/sync.h"

class CResultPacer : public IResultSink {
public:
    // wake asks the window's thread to call Take soon (it posts a message),
    // and says whether it could. now gives milliseconds on a clock that may
    // wrap around.
    CResultPacer(std::function<bool()> wake, std::function<std::uint32_t()> now);

    // A job's text of all lines so far; within a job each text extends the one
    // before it. startsJob marks a job's first text, endsJob its last.
    void SetResultText(const std::string& text, bool startsJob, bool endsJob) override;

    // What the window is to do when woken, or when the wait it was given has
    // passed: show text now (show), ask again after wait ms (wait > 0), or
    // nothing.
    struct Next {
        bool show = false;
        std::string text;
        std::uint32_t wait = 0;
    };
    Next Take();

    // The window has just set the text of the last Take; it began at start
    // (on the clock of now).
    void Shown(std::uint32_t start);

    // Whether a text is still to be shown.
    bool Pending();

    static constexpr std::uint32_t kMinPause = 50;

private:
    const std::function<bool()> m_wake;
    const std::function<std::uint32_t()> m_now;

    CLock m_lock;
    std::string m_text;          // the latest job's lines so far
    bool m_dirty = false;        // the window does not show m_text yet
    bool m_complete = false;     // m_text holds its job's last line
    bool m_woken = false;        // a wake is on its way
    std::uint32_t m_shownAt = 0; // when the last set ended
    std::uint32_t m_pause = kMinPause;
};
