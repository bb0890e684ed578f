// The stand-in file system whose reads block or fail (support/slowfs/) as a
// test sees it: where its files are, and the bytes they hold. A run through
// ctest mounts it for the tests that declare the fixture korvane_slowfs.
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
