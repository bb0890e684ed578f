// CResultPacer.
#include "job/result_pacer.h"

#include <algorithm>
#include <utility>

CResultPacer::CResultPacer(std::function<bool()> wake, std::function<std::uint32_t()> now)
    : m_wake(std::move(wake)), m_now(std::move(now))
{
}

void CResultPacer::AddResultLines(const std::string& lines, bool startsJob, bool endsJob)
{
    std::lock_guard<CLock> lock(m_lock);
    // A new job's text replaces the old one, and lets go of its memory.
    if (m_window == Window::Setting) {
        if (startsJob) {
            std::string(lines).swap(m_arrived);
            m_arrivedStarts = true;
        } else {
            m_arrived += lines;
        }
    } else if (startsJob) {
        std::string(lines).swap(m_text);
    } else {
        m_text += lines;
    }
    m_dirty = true;
    m_complete = endsJob;
    if (startsJob)
        m_holding = false;
    // A job's last line ends a pause or a hold at once, and a new job's first
    // a hold; during a set or before a Take that is on its way, the window
    // comes back for them by itself.
    const bool endsWait = (endsJob && (m_window == Window::Pausing || m_window == Window::Holding)) ||
                          (startsJob && m_window == Window::Holding);
    if (m_window == Window::Idle || endsWait) {
        if (m_wake())
            m_window = Window::Woken;
    }
}

CResultPacer::Next CResultPacer::Take()
{
    std::lock_guard<CLock> lock(m_lock);
    Next next;
    if (!m_dirty) {
        m_window = Window::Idle;
        return next;
    }
    if (!m_complete && m_holding) {
        m_window = Window::Holding;
        return next;
    }
    const std::uint32_t sinceShown = m_now() - m_shownAt;
    if (!m_complete && sinceShown < m_pause) {
        m_window = Window::Pausing;
        next.wait = m_pause - sinceShown;
        return next;
    }
    m_window = Window::Setting;
    m_dirty = false;
    next.text = m_text.c_str();
    return next;
}

void CResultPacer::Shown(std::uint32_t start)
{
    std::lock_guard<CLock> lock(m_lock);
    m_shownAt = m_now();
    const std::uint32_t cost = m_shownAt - start;
    m_pause = std::max(kMinPause, 10 * cost);
    m_holding = cost > kLongestPacedSet && !m_arrivedStarts;
    m_window = Window::Idle;
    if (m_arrivedStarts) {
        m_text.swap(m_arrived);
        std::string().swap(m_arrived);
        m_arrivedStarts = false;
    } else if (!m_arrived.empty()) {
        m_text += m_arrived;
        m_arrived.clear();
    } else if (m_complete) {
        // The box holds the job's whole text now, and nothing is to follow it.
        std::string().swap(m_text);
    }
    // Lines came during the set: the window comes back for them once it has
    // answered what waits for it, not straight after the set.
    if (m_dirty && m_wake())
        m_window = Window::Woken;
}

bool CResultPacer::Pending()
{
    std::lock_guard<CLock> lock(m_lock);
    return m_dirty;
}

void CResultPacer::NoMoreLines()
{
    std::lock_guard<CLock> lock(m_lock);
    m_complete = true;
}
