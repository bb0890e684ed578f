// The digest worker: one job from its start to its end.
#pragma once

#include <cstdint>
#include <string>

class CFileList;
class CJobState;

// Runs one job over files: resets the counters and the bar, sums the lengths of
// the files (size pass), then digests them in order. Every path gives one line,
// "name : digest\r\n" or "name : reason\r\n", and each line goes to the job's
// result sink, which shows the whole text so far after it. A stop request ends the job at once,
// without a line for the file being read. Returns 1, or 0xFFFFFFFF without a job.
std::uint32_t DigestWorker(CJobState* dialog, const CFileList& files);
