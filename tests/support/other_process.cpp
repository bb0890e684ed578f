// HeldByAnotherProcess: starting korvane_hold_file with a pipe on each side.
#include "support/other_process.h"

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <climits>
#include <sys/wait.h>
#include <unistd.h>
#endif

std::string TestProgramFolder()
{
#ifdef _WIN32
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.substr(0, folder.find_last_of("\\/") + 1);
#else
    char path[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string folder(path, length > 0 ? static_cast<size_t>(length) : 0);
    return folder.substr(0, folder.find_last_of('/') + 1);
#endif
}

#ifdef _WIN32
HeldByAnotherProcess::HeldByAnotherProcess(const std::string& path)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE inRead, inWrite, outRead, outWrite;
    if (!CreatePipe(&inRead, &inWrite, &inherit, 0))
        return;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0)) {
        CloseHandle(inRead);
        CloseHandle(inWrite);
        return;
    }
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead;
    startup.hStdOutput = outWrite;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    std::string command = "\"" + TestProgramFolder() + "korvane_hold_file.exe\" \"" + path + "\"";
    const BOOL started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                        nullptr, &startup, &process);
    CloseHandle(inRead);
    CloseHandle(outWrite);
    if (started) {
        CloseHandle(process.hThread);
        m_process = reinterpret_cast<std::intptr_t>(process.hProcess);
        m_input = reinterpret_cast<std::intptr_t>(inWrite);
        char answer[8] = {};
        DWORD got = 0;
        ReadFile(outRead, answer, 4, &got, nullptr);
        m_held = std::string(answer, got) == "held";
    } else {
        CloseHandle(inWrite);
    }
    CloseHandle(outRead);
}

HeldByAnotherProcess::~HeldByAnotherProcess()
{
    if (m_input != -1)
        CloseHandle(reinterpret_cast<HANDLE>(m_input));
    if (m_process != -1) {
        WaitForSingleObject(reinterpret_cast<HANDLE>(m_process), 10000);
        CloseHandle(reinterpret_cast<HANDLE>(m_process));
    }
}
#else
HeldByAnotherProcess::HeldByAnotherProcess(const std::string& path)
{
    int toChild[2];
    int fromChild[2];
    if (pipe(toChild) != 0)
        return;
    if (pipe(fromChild) != 0) {
        close(toChild[0]);
        close(toChild[1]);
        return;
    }
    const std::string program = TestProgramFolder() + "korvane_hold_file";
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(toChild[0], 0);
        dup2(fromChild[1], 1);
        close(toChild[0]);
        close(toChild[1]);
        close(fromChild[0]);
        close(fromChild[1]);
        execl(program.c_str(), program.c_str(), path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    if (pid < 0) {
        close(toChild[1]);
        close(fromChild[0]);
        return;
    }
    m_process = pid;
    m_input = toChild[1];
    char answer[8] = {};
    const ssize_t got = read(fromChild[0], answer, 4);
    m_held = got == 4 && std::string(answer, 4) == "held";
    close(fromChild[0]);
}

HeldByAnotherProcess::~HeldByAnotherProcess()
{
    if (m_input != -1)
        close(static_cast<int>(m_input));
    if (m_process != -1) {
        int status = 0;
        waitpid(static_cast<pid_t>(m_process), &status, 0);
    }
}
#endif
