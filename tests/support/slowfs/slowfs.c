/* korvane_slowfs: a read-only FUSE file system whose files stand in for a
   dead network share (a read that blocks for a minute), a dying drive (a read
   that fails) and a file written while it is read. slowfs_layout.h says what
   each file holds and where its fault lies.

       korvane_slowfs [--block-from=BYTES] [--block-seconds=SECONDS] [FUSE options] MOUNTPOINT
       korvane_slowfs --share=SOURCE [--delay-ms=MS] [--cache-seconds=SECONDS]
                      [--block-seconds=SECONDS] [FUSE options] MOUNTPOINT

   The second form is the share mode (share.c): a share of the folder SOURCE
   some distance away, each request answered MS late (1 by default), names and
   attributes kept SECONDS (1 by default), its dead files blocking as
   blocks.bin does.

   Otherwise nothing is cached by the kernel (no attribute, entry or page
   cache, direct reads), so that every stat and every read reaches this
   program and the faults come exactly where the layout puts them.

   A blocked read ignores interrupts, as a dead share's does, but ends (with
   EINTR) once the reading thread has a fatal signal pending: the kernel waits
   for this program's answer without regard to signals once the request has
   been handed over, so without that a killed reader would live on until the
   block ends. */
#define FUSE_USE_VERSION 31

#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <inttypes.h>
#include <pthread.h>
#include <signal.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include "share.h"
#include "slowfs_layout.h"

enum FaultKind { kBlocks, kFails, kChanges };

/* The files in the root folder, which is all there is; a file's index is its
   fault. */
static const char* const kNames[] = {kSlowFsBlocksName, kSlowFsFailsName, kSlowFsChangesName};
enum { kFileCount = sizeof kNames / sizeof kNames[0] };

/* Set once in main, before the file system runs. */
static uint64_t g_blockFrom;
static unsigned g_blockSeconds;

/* How often changes.bin has been written; its modification time follows. */
static pthread_mutex_t g_changesLock = PTHREAD_MUTEX_INITIALIZER;
static unsigned g_changes;

/* What one open of changes.bin has seen: whether the file was written since
   it was opened. Kept in the open's file handle; guarded by g_changesLock, as
   the kernel may send two reads of one open at the same time. */
struct ChangesOpen {
    int written;
};

/* The file at path, or -1 for none. */
static int FindFile(const char* path)
{
    for (int i = 0; i < kFileCount; ++i) {
        if (path[0] == '/' && strcmp(path + 1, kNames[i]) == 0)
            return i;
    }
    return -1;
}

static uint64_t SizeOf(int file)
{
    switch (file) {
    case kBlocks:
        return kSlowFsBlocksSize;
    case kFails:
        return kSlowFsFailsSize;
    default:
        return kSlowFsChangesSize;
    }
}

static int64_t ModifiedTime(int file)
{
    if (file != kChanges)
        return kSlowFsModified;
    pthread_mutex_lock(&g_changesLock);
    const unsigned changes = g_changes;
    pthread_mutex_unlock(&g_changesLock);
    return kSlowFsModified + changes;
}

// Every time of an entry is the one given: nothing here is ever accessed or
// changed but by the files' own rule.
static void SetTimes(struct stat* info, time_t when)
{
    info->st_mtime = when;
    info->st_ctime = when;
    info->st_atime = when;
}

static int SlowGetattr(const char* path, struct stat* info, struct fuse_file_info* fi)
{
    (void)fi;
    memset(info, 0, sizeof *info);
    if (strcmp(path, "/") == 0) {
        info->st_mode = S_IFDIR | 0555;
        info->st_nlink = 2;
        SetTimes(info, kSlowFsModified);
        return 0;
    }
    const int file = FindFile(path);
    if (file < 0)
        return -ENOENT;
    info->st_mode = S_IFREG | 0444;
    info->st_nlink = 1;
    info->st_size = (off_t)SizeOf(file);
    info->st_blksize = 4096;
    info->st_blocks = (blkcnt_t)((SizeOf(file) + 511) / 512);
    SetTimes(info, (time_t)ModifiedTime(file));
    return 0;
}

static int SlowReaddir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t offset,
                       struct fuse_file_info* fi, enum fuse_readdir_flags flags)
{
    (void)offset;
    (void)fi;
    (void)flags;
    if (strcmp(path, "/") != 0)
        return -ENOTDIR;
    fill(buffer, ".", NULL, 0, 0);
    fill(buffer, "..", NULL, 0, 0);
    for (int i = 0; i < kFileCount; ++i)
        fill(buffer, kNames[i], NULL, 0, 0);
    return 0;
}

static int SlowOpen(const char* path, struct fuse_file_info* fi)
{
    const int file = FindFile(path);
    if (file < 0)
        return -ENOENT;
    if ((fi->flags & O_ACCMODE) != O_RDONLY)
        return -EROFS;
    fi->direct_io = 1;
    fi->keep_cache = 0;
    fi->fh = 0;
    if (file == kChanges) {
        struct ChangesOpen* open = calloc(1, sizeof *open);
        if (!open)
            return -ENOMEM;
        fi->fh = (uint64_t)(uintptr_t)open;
    }
    return 0;
}

static int SlowRelease(const char* path, struct fuse_file_info* fi)
{
    (void)path;
    free((void*)(uintptr_t)fi->fh);
    return 0;
}

/* Whether the thread with this id has a fatal signal pending: it is being
   killed, or another thread of its process has ended the process. The kernel
   marks either as SIGKILL pending on the thread. A thread that is gone counts
   as dying. */
static int IsDying(pid_t thread)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/%ld/status", (long)thread);
    FILE* status = fopen(path, "r");
    if (!status)
        return 1;
    const unsigned long long kill = 1ull << (SIGKILL - 1);
    int dying = 0;
    char line[256];
    while (fgets(line, sizeof line, status)) {
        unsigned long long pending = 0;
        if ((sscanf(line, "SigPnd: %llx", &pending) == 1 || sscanf(line, "ShdPnd: %llx", &pending) == 1) &&
            (pending & kill))
            dying = 1;
    }
    fclose(status);
    return dying;
}

/* Interrupts alone do not end the wait: the kernel tells us of any signal,
   and only a fatal one is looked for. */
int BlockLikeADeadShare(void)
{
    const pid_t caller = fuse_get_context()->pid;
    struct timespec now, end;
    clock_gettime(CLOCK_MONOTONIC, &end);
    end.tv_sec += (time_t)g_blockSeconds;
    const struct timespec step = {0, 20 * 1000 * 1000};
    for (;;) {
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (now.tv_sec > end.tv_sec || (now.tv_sec == end.tv_sec && now.tv_nsec >= end.tv_nsec))
            return 0;
        if (fuse_interrupted() && IsDying(caller))
            return -EINTR;
        nanosleep(&step, NULL);
    }
}

/* The file's bytes from offset on, as written once (changedFrom: from there
   on the changed bytes; UINT64_MAX for none). */
static void Fill(char* buffer, size_t count, uint64_t offset, uint64_t changedFrom)
{
    for (size_t i = 0; i < count; ++i) {
        const uint64_t at = offset + i;
        buffer[i] = (char)(at >= changedFrom ? SlowFsChangedByte(at) : SlowFsByte(at));
    }
}

static int SlowRead(const char* path, char* buffer, size_t size, off_t offset, struct fuse_file_info* fi)
{
    const int file = FindFile(path);
    if (file < 0)
        return -ENOENT;
    if (offset < 0)
        return -EINVAL;
    const uint64_t start = (uint64_t)offset;
    const uint64_t length = SizeOf(file);
    if (start >= length)
        return 0;
    const size_t count = (size_t)(size < length - start ? size : length - start);
    const uint64_t end = start + count;  /* the read touches [start, end) */

    uint64_t changedFrom = UINT64_MAX;
    switch (file) {
    case kBlocks:
        if (end > g_blockFrom) {
            const int blocked = BlockLikeADeadShare();
            if (blocked != 0)
                return blocked;
        }
        break;
    case kFails:
        if (end > kSlowFsFailFrom)
            return -EIO;
        break;
    case kChanges: {
        /* This read is answered as the file was before; the write lands
           right after it. */
        struct ChangesOpen* open = (struct ChangesOpen*)(uintptr_t)fi->fh;
        pthread_mutex_lock(&g_changesLock);
        if (open->written) {
            changedFrom = kSlowFsChangeFrom;
        } else if (end > kSlowFsChangeFrom) {
            open->written = 1;
            ++g_changes;
        }
        pthread_mutex_unlock(&g_changesLock);
        break;
    }
    }
    Fill(buffer, count, start, changedFrom);
    return (int)count;
}

static void* SlowInit(struct fuse_conn_info* connection, struct fuse_config* config)
{
    (void)connection;
    config->entry_timeout = 0;
    config->negative_timeout = 0;
    config->attr_timeout = 0;
    config->ac_attr_timeout_set = 1;
    config->ac_attr_timeout = 0;
    config->direct_io = 1;
    config->kernel_cache = 0;
    config->auto_cache = 0;
    return NULL;
}

static const struct fuse_operations kOperations = {
    .getattr = SlowGetattr,
    .open = SlowOpen,
    .read = SlowRead,
    .release = SlowRelease,
    .readdir = SlowReaddir,
    .init = SlowInit,
};

struct Options {
    char* blockFrom;
    char* blockSeconds;
    char* share;
    char* delayMs;
    char* cacheSeconds;
};

static const struct fuse_opt kOptionSpecs[] = {
    {"--block-from=%s", offsetof(struct Options, blockFrom), 0},
    {"--block-seconds=%s", offsetof(struct Options, blockSeconds), 0},
    {"--share=%s", offsetof(struct Options, share), 0},
    {"--delay-ms=%s", offsetof(struct Options, delayMs), 0},
    {"--cache-seconds=%s", offsetof(struct Options, cacheSeconds), 0},
    FUSE_OPT_END,
};

/* A whole number in [0, limit], or a clear complaint and 0. */
static int ParseNumber(const char* option, const char* text, uint64_t limit, uint64_t* value)
{
    char* end = NULL;
    errno = 0;
    const unsigned long long parsed = strtoull(text, &end, 10);
    if (text[0] < '0' || text[0] > '9' || *end != '\0' || errno != 0 || parsed > limit) {
        fprintf(stderr, "korvane_slowfs: %s takes a whole number up to %" PRIu64 ", not \"%s\"\n", option, limit,
                text);
        return 0;
    }
    *value = parsed;
    return 1;
}

int main(int argc, char* argv[])
{
    struct fuse_args args = FUSE_ARGS_INIT(argc, argv);
    struct Options options = {NULL, NULL, NULL, NULL, NULL};
    if (fuse_opt_parse(&args, &options, kOptionSpecs, NULL) != 0)
        return 2;
    uint64_t blockFrom = kSlowFsBlockFrom;
    uint64_t blockSeconds = kSlowFsBlockSeconds;
    uint64_t delayMs = 1;
    uint64_t cacheSeconds = 1;
    if ((options.blockFrom && !ParseNumber("--block-from", options.blockFrom, kSlowFsBlocksSize, &blockFrom)) ||
        (options.blockSeconds &&
         !ParseNumber("--block-seconds", options.blockSeconds, 24 * 60 * 60, &blockSeconds)) ||
        (options.delayMs && !ParseNumber("--delay-ms", options.delayMs, 60 * 1000, &delayMs)) ||
        (options.cacheSeconds && !ParseNumber("--cache-seconds", options.cacheSeconds, 60 * 60, &cacheSeconds)))
        return 2;
    g_blockFrom = blockFrom;
    g_blockSeconds = (unsigned)blockSeconds;
    const struct fuse_operations* operations = &kOperations;
    if (options.share) {
        operations = ShareOperations(options.share, (unsigned)delayMs, (unsigned)cacheSeconds);
        if (!operations)
            return 1;
    }
    free(options.blockFrom);
    free(options.blockSeconds);
    free(options.share);
    free(options.delayMs);
    free(options.cacheSeconds);

    /* Read-only; and enough threads that a few blocked reads leave others
       (and the interrupts that end a killed reader's) to be served, and that
       a share answers a burst of requests at once. */
    fuse_opt_add_arg(&args, "-oro,max_threads=64");
    const int status = fuse_main(args.argc, args.argv, operations, NULL);
    fuse_opt_free_args(&args);
    return status;
}
