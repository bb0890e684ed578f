// CResultPacer: keeps a job's result text and hands it from the job's thread
// to the window's, so that the job never waits for the window and the window
// shows the latest text.
//
// Setting a text costs the window more the longer the text is: the edit
// control lays out every line on each set. Setting the whole text after each
// of 10,000 small files made a batch quadratic. So until a job's last line a
// new text is shown only after a pause of ten times what the last set cost (at
// least kMinPause ms); the lines that arrive meanwhile are shown as one text.
// A job's last line is shown at once. Once a set has cost more than
// kLongestPacedSet, the rest of the job's lines wait for its last: a set of
// most of a large batch's lines, just before its end, would hold the window
// for as long as the final one again, and keep the final one waiting.
//
// Every wake and timer of the window is a round trip to Wine's server, which
// the job's opens queue behind: so the window is woken once for what it is to
// show, and told to wait once per pause. Lines that come while it is woken,
// waits out a pause or sets the text wake it no further (a job's last line
// ends a pause at once; lines that came during a set wake it once the set is
// over).
//
// The text is held here only: the window sets it straight from here, and
// lines that arrive during the set wait beside it until the set is over.
//
// THREADING: AddResultLines is called on the job's thread, Take, Shown and
// Pending on the window's. Everything is guarded by m_lock; wake and now are
// called with it held. The text that Take gives is read by the window without
// the lock until Shown, and nothing changes it meanwhile.
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

    void AddResultLines(const std::string& lines, bool startsJob, bool endsJob) override;

    // What the window is to do when woken, or when the wait it was given has
    // passed: set text now (when not null; then call Shown), ask again after
    // wait ms (wait > 0), or nothing.
    struct Next {
        const char* text = nullptr;
        std::uint32_t wait = 0;
    };
    Next Take();

    // The window has just set the text of the last Take; it began at start
    // (on the clock of now). Lines that came during the set wake the window
    // again, so that what else waits for it goes first.
    void Shown(std::uint32_t start);

    // Whether a text is still to be shown.
    bool Pending();

    // No job runs: the lines there are are all there will be, so that a job
    // that ended without its last line (it failed) is shown whole all the
    // same. Called on the window's thread, which starts the jobs.
    void NoMoreLines();

    static constexpr std::uint32_t kMinPause = 50;
    static constexpr std::uint32_t kLongestPacedSet = 1000;

private:
    // What the window will do next of its own accord.
    enum class Window {
        Idle,     // nothing: new lines must wake it
        Woken,    // it will Take soon: a wake is on its way
        Pausing,  // it will Take when its wait has passed
        Holding,  // nothing: the job's lines wait for its last (or a new job)
        Setting,  // it is setting m_text, outside the lock
    };

    const std::function<bool()> m_wake;
    const std::function<std::uint32_t()> m_now;

    CLock m_lock;
    std::string m_text;          // the latest job's lines so far, but for m_arrived
    std::string m_arrived;       // lines that came during a set, for after it
    bool m_arrivedStarts = false;  // m_arrived begins a new job's text
    bool m_dirty = false;        // the window does not show all the lines yet
    bool m_complete = false;     // the lines end with their job's last
    Window m_window = Window::Idle;
    std::uint32_t m_shownAt = 0; // when the last set ended
    std::uint32_t m_pause = kMinPause;
    bool m_holding = false;      // the job's lines wait for its last
};
