// What the program asks of the place a file lies in: whether its drive reads
// several files at once without loss, how many processors the process may
// run on, and a key under which two spellings of one path agree.
#pragma once

#include <string>

// The drive that holds path, as "C:": its own, or the current folder's for a
// relative path. Empty for a share, a device, or where the system has no
// drives.
std::string DriveOf(const std::string& path);

// Whether drive (as DriveOf gives it) says that it has a seek penalty (a
// spinning disk, on which reading several files at once is slower than one
// after another). False where the drive or the system cannot say.
bool DriveHasSeekPenalty(const std::string& drive);

// The processors that the process may run on; at least 1.
unsigned ProcessorsForThreads();

// A key for path under which spellings of one path that the system takes
// alike compare equal: on Windows the full path with its letters in one case,
// elsewhere the path as it stands. Two keys that differ may still name one
// file (a short name and a long one, a link).
std::string PathKey(const std::string& path);
