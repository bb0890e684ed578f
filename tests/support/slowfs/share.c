/* The share mode of korvane_slowfs (--share=SOURCE): a read-only mirror of
   the folder SOURCE that stands in for a file share some distance away, an
   SMB or NFS server on the LAN. Each request the kernel sends (lookup and
   attributes, listing, open, read, flush, release) is answered a set delay
   late, and many are answered at once, as a share answers the requests its
   client has in flight. The kernel keeps the files' pages, names and
   attributes as a share's client does; the source must not change under a
   mount but by new names.

   Its root also holds what slowfs_layout.h names: the open counts
   (kShareFsStatsName) and their reset (kShareFsResetName); and a file whose
   name ends in kShareFsDeadSuffix does not open, as on a share that went
   away. */
#define FUSE_USE_VERSION 31

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <pthread.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "share.h"
#include "slowfs_layout.h"

/* Set once in ShareOperations, before the file system runs. */
static int g_source = -1;
static struct timespec g_delay;
static double g_cacheSeconds;

/* The source's files open now (opened, not yet released), the most open at
   once and the opens in all, since the start or the last reset. */
static pthread_mutex_t g_countsLock = PTHREAD_MUTEX_INITIALIZER;
static unsigned g_openNow, g_openMax, g_opens;

enum Entry { kSourceEntry, kStats, kReset };

static enum Entry EntryOf(const char* path)
{
    if (path[0] == '/' && strcmp(path + 1, kShareFsStatsName) == 0)
        return kStats;
    if (path[0] == '/' && strcmp(path + 1, kShareFsResetName) == 0)
        return kReset;
    return kSourceEntry;
}

/* The path relative to the source folder, which the kernel's paths start at. */
static const char* InSource(const char* path)
{
    return path[1] != '\0' ? path + 1 : ".";
}

static int IsDead(const char* path)
{
    const size_t length = strlen(path), suffix = strlen(kShareFsDeadSuffix);
    return length > suffix && strcmp(path + length - suffix, kShareFsDeadSuffix) == 0;
}

/* The request's way to the server and back. */
static void CrossTheWire(void)
{
    nanosleep(&g_delay, NULL);
}

static void CountOpen(int change)
{
    pthread_mutex_lock(&g_countsLock);
    if (change > 0) {
        ++g_opens;
        if (++g_openNow > g_openMax)
            g_openMax = g_openNow;
    } else {
        --g_openNow;
    }
    pthread_mutex_unlock(&g_countsLock);
}

static void ResetCounts(void)
{
    pthread_mutex_lock(&g_countsLock);
    g_openMax = g_openNow;
    g_opens = 0;
    pthread_mutex_unlock(&g_countsLock);
}

static int ShareGetattr(const char* path, struct stat* info, struct fuse_file_info* fi)
{
    (void)fi;
    CrossTheWire();
    if (EntryOf(path) == kSourceEntry)
        return fstatat(g_source, InSource(path), info, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : -errno;
    /* Length 0, as the files of /proc: they are read with direct_io, so
       reads go past it to the text of the moment. */
    memset(info, 0, sizeof *info);
    info->st_mode = S_IFREG | 0444;
    info->st_nlink = 1;
    return 0;
}

/* A listing answers with each entry's attributes when the kernel asks for
   them (readdirplus), as a share's listing does: a program that lists a
   folder and opens its files then waits for no lookup of theirs. Entries
   carry their place as their offset, for the library to pass them on as they
   are; a listing in several calls skips to the place it was at. */
static int ShareReaddir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t offset,
                        struct fuse_file_info* fi, enum fuse_readdir_flags flags)
{
    (void)fi;
    CrossTheWire();
    const int fd = openat(g_source, InSource(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -errno;
    DIR* folder = fdopendir(fd);
    if (!folder) {
        const int error = errno;
        close(fd);
        return -error;
    }
    const char* const added[] = {kShareFsStatsName, kShareFsResetName};
    const off_t addedCount = strcmp(path, "/") == 0 ? 2 : 0;
    off_t place = 0;
    for (;;) {
        const struct dirent* entry = place < addedCount ? NULL : readdir(folder);
        if (place >= addedCount && !entry)
            break;
        const char* name = place < addedCount ? added[place] : entry->d_name;
        if (++place <= offset)
            continue;
        struct stat info;
        const int plus = (flags & FUSE_READDIR_PLUS) && fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) == 0;
        if (fill(buffer, name, plus ? &info : NULL, place, plus ? FUSE_FILL_DIR_PLUS : 0) != 0)
            break;
    }
    closedir(folder);
    return 0;
}

static int ShareOpen(const char* path, struct fuse_file_info* fi)
{
    CrossTheWire();
    if ((fi->flags & O_ACCMODE) != O_RDONLY)
        return -EROFS;
    const enum Entry entry = EntryOf(path);
    if (entry != kSourceEntry) {
        if (entry == kReset)
            ResetCounts();
        fi->direct_io = 1;
        return 0;
    }
    if (IsDead(path)) {
        const int blocked = BlockLikeADeadShare();
        return blocked != 0 ? blocked : -EIO;
    }
    const int fd = openat(g_source, InSource(path), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -errno;
    fi->fh = (uint64_t)fd;
    fi->keep_cache = 1;
    CountOpen(1);
    return 0;
}

static int StatsText(char* buffer, size_t size, off_t offset)
{
    char text[128];
    pthread_mutex_lock(&g_countsLock);
    const int length = snprintf(text, sizeof text, "open_now=%u open_max=%u opens=%u\n", g_openNow, g_openMax, g_opens);
    pthread_mutex_unlock(&g_countsLock);
    if (offset >= length)
        return 0;
    const size_t count = (size_t)(length - offset) < size ? (size_t)(length - offset) : size;
    memcpy(buffer, text + offset, count);
    return (int)count;
}

static int ShareRead(const char* path, char* buffer, size_t size, off_t offset, struct fuse_file_info* fi)
{
    CrossTheWire();
    switch (EntryOf(path)) {
    case kStats:
        return StatsText(buffer, size, offset);
    case kReset:
        return 0;
    default: {
        const ssize_t got = pread((int)fi->fh, buffer, size, offset);
        return got >= 0 ? (int)got : -errno;
    }
    }
}

static int ShareFlush(const char* path, struct fuse_file_info* fi)
{
    (void)path;
    (void)fi;
    CrossTheWire();
    return 0;
}

static int ShareRelease(const char* path, struct fuse_file_info* fi)
{
    CrossTheWire();
    if (EntryOf(path) == kSourceEntry) {
        close((int)fi->fh);
        CountOpen(-1);
    }
    return 0;
}

static void* ShareInit(struct fuse_conn_info* connection, struct fuse_config* config)
{
    /* The kernel sends read-ahead and releases as background requests, 12
       in flight at most unless told more; as many as the loop's threads. */
    connection->max_background = 64;
    config->entry_timeout = g_cacheSeconds;
    config->attr_timeout = g_cacheSeconds;
    /* A name looked up before a test wrote it is found at once after. */
    config->negative_timeout = 0;
    return NULL;
}

static const struct fuse_operations kShareOperations = {
    .getattr = ShareGetattr,
    .open = ShareOpen,
    .read = ShareRead,
    .flush = ShareFlush,
    .release = ShareRelease,
    .readdir = ShareReaddir,
    .init = ShareInit,
};

const struct fuse_operations* ShareOperations(const char* source, unsigned delayMs, unsigned cacheSeconds)
{
    g_source = open(source, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (g_source < 0) {
        fprintf(stderr, "korvane_slowfs: the share's source %s does not open: %s\n", source, strerror(errno));
        return NULL;
    }
    g_delay.tv_sec = (time_t)(delayMs / 1000);
    g_delay.tv_nsec = (long)(delayMs % 1000) * 1000000L;
    g_cacheSeconds = cacheSeconds;
    return &kShareOperations;
}
