// EndProcessNow.
#include "platform/process.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

void EndProcessNow(int status) noexcept
{
#ifdef _WIN32
    // Not ExitProcess: that would let the runtime's exit handlers and every
    // library's detach routine run while other threads may still hold locks.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
#endif
    std::_Exit(status);
}
