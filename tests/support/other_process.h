// A second process that holds a file open, for tests of files locked by
// another program, and the folder of the test programs it stands in.
#pragma once

#include <cstdint>
#include <string>

// The folder of the running test program, with a trailing separator.
std::string TestProgramFolder();

class HeldByAnotherProcess {
public:
    // Starts korvane_hold_file (beside the test program) on path and waits
    // until it holds the file.
    explicit HeldByAnotherProcess(const std::string& path);
    // Lets the process go and waits for it to end.
    ~HeldByAnotherProcess();
    HeldByAnotherProcess(const HeldByAnotherProcess&) = delete;
    HeldByAnotherProcess& operator=(const HeldByAnotherProcess&) = delete;

    bool IsHeld() const { return m_held; }

private:
    bool m_held = false;
    std::intptr_t m_process = -1;  // HANDLE or pid
    std::intptr_t m_input = -1;    // the write end of its standard input
};
