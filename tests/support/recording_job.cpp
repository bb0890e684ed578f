// RecordingSinks and Gate.
#include "support/recording_job.h"

void RecordingSinks::SetPos(int position)
{
    if (onPosition)
        onPosition(position);
    std::lock_guard<std::mutex> lock(m_lock);
    m_positions.push_back(position);
}

void RecordingSinks::AddResultLines(const std::string& lines, bool startsJob, bool endsJob)
{
    std::unique_lock<std::mutex> lock(m_lock);
    if (startsJob)
        m_text.clear();
    m_text += lines;
    const std::string text = m_text;
    lock.unlock();
    if (onText)
        onText(text);
    lock.lock();
    m_texts.push_back(text);
    m_marks.push_back(std::string(startsJob ? "s" : "") + (endsJob ? "e" : ""));
}

std::vector<std::string> RecordingSinks::Marks() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_marks;
}

std::vector<int> RecordingSinks::Positions() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_positions;
}

std::vector<std::string> RecordingSinks::Texts() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_texts;
}

std::string RecordingSinks::LastText() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_texts.empty() ? std::string() : m_texts.back();
}

void Gate::Open()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_open = true;
    m_changed.notify_all();
}

void Gate::Wait()
{
    std::unique_lock<std::mutex> lock(m_lock);
    m_arrived = true;
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return m_open; });
}

void Gate::AwaitArrival()
{
    std::unique_lock<std::mutex> lock(m_lock);
    m_changed.wait(lock, [this] { return m_arrived; });
}
