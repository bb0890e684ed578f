// The stand-in file system (support/slowfs/) as a test sees it: where the
// files whose reads block or fail are, and the bytes they hold; and its share
// mode, a share some distance away: where a test puts a file and reads it
// through the share, and the share's open counts. A run through ctest mounts
// them for the tests that declare the fixtures korvane_slowfs and
// korvane_sharefs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/slowfs/slowfs_layout.h"

// The path of one of its files (kSlowFsBlocksName, kSlowFsFailsName,
// kSlowFsChangesName) as this program spells it: Z:\... under Wine, whose
// drive Z: is the Linux root, /... on Linux. Empty when the file system is
// not mounted; a test then skips with SlowFsMissing():
//
//     const std::string path = SlowFsPath(kSlowFsFailsName);
//     if (path.empty())
//         GTEST_SKIP() << SlowFsMissing();
std::string SlowFsPath(const char* name);

// Why SlowFsPath gives nothing, for the skip.
std::string SlowFsMissing();

// length bytes of its files from offset on, as they are before any change.
std::string SlowFsBytes(std::uint64_t offset, std::size_t length);

// Writes content to name in the share's source folder, and returns the path
// by which it reads through the share, spelled as SlowFsPath spells its
// files. Empty when the share is not mounted; a test then skips with
// ShareFsMissing(). Throws std::runtime_error when the write fails. The share
// keeps what it has read of a file while it is mounted: a test writes a name
// once. A file already there with the same bytes (from an earlier run) is
// left as it is.
std::string ShareFsWrite(const std::string& name, const std::string& content);
// Why ShareFsWrite gives nothing, for the skip.
std::string ShareFsMissing();

// The share's counts of its source's files (slowfs_layout.h): open now, the
// most open at once and the opens in all since the last reset.
struct ShareFsCounts {
    unsigned openNow = 0;
    unsigned openMax = 0;
    unsigned opens = 0;
};
// The counts now; false when they could not be read.
bool ReadShareFsCounts(ShareFsCounts& counts);
// Starts the counts anew; false when the share did not take it.
bool ResetShareFsCounts();
