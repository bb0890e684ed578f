// Which block forms of the engine run on this machine, and which one the
// engine chose, as the engine benchmarks print it for scripts/bench.
#pragma once

#include <cstdio>

#include "digest/md5_blocks.h"

// Prints "forms <form>..." and "chosen <form>". Call it before anything puts a
// form in use.
inline void PrintMd5Forms()
{
    const Md5Form chosen = FastestMd5Form();
    std::printf("forms");
    for (const Md5Form form : SupportedMd5Forms())
        std::printf(" %s", Md5FormName(form));
    std::printf("\nchosen %s\n", Md5FormName(chosen));
}
