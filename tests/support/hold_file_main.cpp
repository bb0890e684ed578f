// korvane_hold_file PATH: holds PATH open the way another program would (no
// sharing on Windows, an exclusive flock elsewhere), writes one line, "held"
// or "failed", and keeps holding until its standard input closes.
#include <cstdio>

#include "support/test_files.h"

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    ExclusiveHold hold(argv[1]);
    std::puts(hold.IsHeld() ? "held" : "failed");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return hold.IsHeld() ? 0 : 1;
}
