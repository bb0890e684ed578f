/* The files of the stand-in file system (korvane_slowfs): their names,
   lengths, fault points and bytes, and the names its share mode adds. Shared
   by the file system, which serves them, and the tests, which compute what a
   read before a fault must give.

   Every file holds the same bytes, SlowFsByte(offset), up to its fault:
   - blocks.bin: a read that touches kSlowFsBlockFrom or later waits
     kSlowFsBlockSeconds before it answers, as a dead network share does
     (both can be set when mounting: --block-from, --block-seconds);
   - fails.bin: a read that touches kSlowFsFailFrom or later fails (EIO), as
     a dying drive's does;
   - changes.bin: the first read of an open that touches kSlowFsChangeFrom or
     later is answered as the file was, and then the file is written: later
     reads of that open get SlowFsChangedByte from kSlowFsChangeFrom on, and
     the file's modification time moves one second on. Its length stays.
   The fault points are whole multiples of 256 KiB, so that a reader that reads
   in blocks of 256 KiB gets four good blocks first. Plain C, for both sides. */
#ifndef KORVANE_SLOWFS_LAYOUT_H
#define KORVANE_SLOWFS_LAYOUT_H

#include <stdint.h>

static const char kSlowFsBlocksName[] = "blocks.bin";
static const uint64_t kSlowFsBlocksSize = UINT64_C(64) << 20;
static const uint64_t kSlowFsBlockFrom = UINT64_C(1) << 20;
static const unsigned kSlowFsBlockSeconds = 60;

static const char kSlowFsFailsName[] = "fails.bin";
static const uint64_t kSlowFsFailsSize = UINT64_C(4) << 20;
static const uint64_t kSlowFsFailFrom = UINT64_C(1) << 20;

static const char kSlowFsChangesName[] = "changes.bin";
static const uint64_t kSlowFsChangesSize = UINT64_C(4) << 20;
static const uint64_t kSlowFsChangeFrom = UINT64_C(1) << 20;

/* The modification time of every file, in Unix seconds (2026-01-01 UTC);
   changes.bin's moves on from it. */
static const int64_t kSlowFsModified = 1767225600;

/* The byte at offset of every file: it repeats only every 251 bytes, so a
   block served from a wrong offset shows. */
static inline unsigned char SlowFsByte(uint64_t offset)
{
    return (unsigned char)(((offset % 251) * 131 + 7) % 251);
}

/* The byte at offset of changes.bin once it has been written: never the one
   it replaced (SlowFsByte is at most 250). */
static inline unsigned char SlowFsChangedByte(uint64_t offset)
{
    return (unsigned char)(255 - SlowFsByte(offset));
}

/* The share mode (--share=SOURCE) mirrors SOURCE and adds, at its root:
   - kShareFsStatsName: one line, "open_now=N open_max=N opens=N": SOURCE's
     files open now (opened and not yet released: the kernel releases a file
     a moment after its last close returns), the most open at once, and the
     opens in all;
   - kShareFsResetName: an open of it starts the counts anew (the most open
     at once from those open now).
   A file whose name ends in kShareFsDeadSuffix does not open: its open
   blocks as blocks.bin's reads do, and then fails. Under Wine its server
   process opens every program's files, so there such an open stalls every
   Wine program until it ends. */
static const char kShareFsStatsName[] = ".stats";
static const char kShareFsResetName[] = ".reset";
static const char kShareFsDeadSuffix[] = ".dead";

#endif
