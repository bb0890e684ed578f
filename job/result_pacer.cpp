// CResultPacer.
#include "job/result_pacer.h"

#include <algorithm>
#include <utility>

CResultPacer::CResultPacer(std::function<bool()> wake, std::function<std::uint32_t()> now)
    : m_wake(std::move(wake)), m_now(std::move(now))
{
}

void CResultPacer::SetResultText(const std::string& text, bool startsJob, bool endsJob)
{
    std::lock_guard<CLock> lock(m_lock);
    // Within a job each text extends the one before: copy only the new line.
    if (startsJob)
        m_text = text;
    else
        m_text.append(text, m_text.size(), std::string::npos);
    m_dirty = true;
    m_complete = endsJob;
    // A job's last line goes out at once, whatever the pause.
    if (!m_woken || endsJob)
        m_woken = m_wake();
}

CResultPacer::Next CResultPacer::Take()
{
    std::lock_guard<CLock> lock(m_lock);
    m_woken = false;
    Next next;
    if (!m_dirty)
        return next;
    const std::uint32_t sinceShown = m_now() - m_shownAt;
    if (!m_complete && sinceShown < m_pause) {
        next.wait = m_pause - sinceShown;
        return next;
    }
    next.show = true;
    next.text = m_text;
    m_dirty = false;
    return next;
}

void CResultPacer::Shown(std::uint32_t start)
{
    std::lock_guard<CLock> lock(m_lock);
    m_shownAt = m_now();
    m_pause = std::max(kMinPause, 10 * (m_shownAt - start));
}

bool CResultPacer::Pending()
{
    std::lock_guard<CLock> lock(m_lock);
    return m_dirty;
}
