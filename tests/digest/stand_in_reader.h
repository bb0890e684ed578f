// The chunk reader of the engine's tests: each chunk goes straight to the
// file, and is counted here.
#pragma once

#include <atomic>

extern std::atomic<int> g_chunkReads;
