// Where a digest job reports to: a progress position and the whole result text.
// The main dialog is both sinks for its jobs; tests record what arrives.
#pragma once

#include <string>

class IProgressSink {
public:
    // Called on the job's thread with every position the progress rule yields;
    // positions above 100 show a full bar.
    virtual void SetPos(int position) = 0;

protected:
    ~IProgressSink() = default;
};

class IResultSink {
public:
    // Called on the job's thread after every line with all lines so far, in the
    // ANSI code page; replaces whatever was shown before. Within a job each
    // text extends the one before it: startsJob marks a job's first text,
    // endsJob its last.
    virtual void SetResultText(const std::string& text, bool startsJob, bool endsJob) = 0;

protected:
    ~IResultSink() = default;
};
