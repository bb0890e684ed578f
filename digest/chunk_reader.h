// The reader that the engine's file loop pulls every chunk through.
//
// Declared here, where it is called, and defined by the layer that runs the
// jobs (job/progress_rule.cpp), which counts every chunk toward its job and
// moves the job's progress bar. So the engine knows nothing of jobs, and its
// own tests link a stand-in.
#pragma once

#include <cstdint>
#include <exception>

class CFile;

// Raised by the chunk reader when reading is to stop: the job that reads has
// been asked to.
class CReadingStopped : public std::exception {
public:
    const char* what() const noexcept override { return "reading stopped"; }
};

// Reads up to length bytes from file into buffer and returns how many, 0 at
// the end of the file. Throws CFileException when the read fails and
// CReadingStopped when reading is to stop.
std::uint32_t ReadChunkWithProgress(void* buffer, std::uint32_t length, CFile& file);
