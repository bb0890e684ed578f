// Which block forms of the engine run on this machine, and which one the
// engine chose, as the engine benchmarks print it for scripts/bench; the same
// for the lane forms of the multi-buffer engine.
#pragma once

#include <cstdio>

#include "digest/md5_blocks.h"
#include "digest/md5_lane_forms.h"

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

// Prints "forms-lanes <form>..." and "chosen-lanes <form> <break-even>", the
// break-even being the fewest lanes with blocks from which the chosen lane
// form beats the single-stream form, or "never".
inline void PrintMd5LaneForms()
{
    const Md5LaneForm chosen = FastestMd5LaneForm();
    std::printf("forms-lanes");
    for (const Md5LaneForm form : SupportedMd5LaneForms())
        std::printf(" %s", Md5LaneFormName(form));
    const std::size_t breakEven = Md5LaneBreakEven(chosen);
    if (breakEven == kMd5NeverBreaksEven)
        std::printf("\nchosen-lanes %s never\n", Md5LaneFormName(chosen));
    else
        std::printf("\nchosen-lanes %s %lu\n", Md5LaneFormName(chosen), static_cast<unsigned long>(breakEven));
}
