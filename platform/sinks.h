// Where a digest job reports to: a progress position and its result lines.
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
    // Called on the job's thread with each line, or with lines that came
    // together, in the ANSI code page, each ended by CR LF. The text to show
    // is every line since the call that marked startsJob (a job's first): it
    // replaces whatever was shown before. endsJob marks a job's last lines.
    // The sink keeps the text, so that a job does not hold it too.
    virtual void AddResultLines(const std::string& lines, bool startsJob, bool endsJob) = 0;

protected:
    ~IResultSink() = default;
};
