// Ending the process at once.
#pragma once

// Ends the process with status without running anything of the program
// first: no destructor, no exit handler. Threads of the process stop where
// they are, a thread blocked in a read included, so nothing they might still
// touch is ever freed.
[[noreturn]] void EndProcessNow(int status) noexcept;
