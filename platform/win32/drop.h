// The names of files dropped onto a window.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

// Every name of the drop, in the drop's order and whole, in the ANSI code
// page. A wide name that the code page cannot hold comes as its short (8.3)
// form where that converts; else with '?' for the characters that it lacks,
// a name that never opens. The names are read in one pass over the drop's
// list: DragQueryFile walks the list from its start for every index, so
// fetching n names one by one costs seconds for a drop of 10,000 files. The
// drop is not released.
std::vector<std::string> DroppedFileNames(HDROP drop);
