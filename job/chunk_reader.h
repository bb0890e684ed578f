// The chunk reader: every read of the engine's file loop passes through here,
// counts toward the running job and moves its progress bar.
//
// Kept apart from the rest of the job so that the engine depends on this alone.
#pragma once

#include <cstdint>
#include <exception>

class CFile;

// Raised by the chunk reader once the running job has been asked to stop.
class CJobStopped : public std::exception {
public:
    const char* what() const noexcept override { return "job stopped"; }
};

// Adds length to the job's m_doneBytes, hands the progress position to the
// job's progress sink when the job's total is positive, then reads up to
// length bytes from file. Returns the bytes read, 0 at the end of the file.
// Throws CFileException when the read fails and CJobStopped when the job is to
// stop. The job is g_pMainDlg's; call only on the running job's thread.
std::uint32_t ReadChunkWithProgress(void* buffer, std::uint32_t length, CFile& file);
