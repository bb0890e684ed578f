// The progress rule: the bar's position for the bytes a job has asked for.
#pragma once

#include <cstdint>

// The position for done bytes asked for of a total (total > 0): the quotient
// first, then the percentage, then single precision, truncated; the low 32
// bits of that. Positions above 100 show a full bar.
int ProgressPosition(std::int64_t done, std::int64_t total);
