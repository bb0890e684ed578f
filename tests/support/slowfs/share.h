/* What korvane_slowfs's two file systems share: the share mode's operations
   (share.c), for main to run, and the dead share's wait (slowfs.c), for the
   share's dead files. */
#ifndef KORVANE_SLOWFS_SHARE_H
#define KORVANE_SLOWFS_SHARE_H

struct fuse_operations;

/* The operations of the share of the folder source: each request answered
   delayMs late, names and attributes kept cacheSeconds. NULL, said on
   standard error, when source does not open. */
const struct fuse_operations* ShareOperations(const char* source, unsigned delayMs, unsigned cacheSeconds);

/* Waits as a dead share does, as long as --block-seconds says: 0 when the
   wait ran out, -EINTR when the caller is being killed. */
int BlockLikeADeadShare(void);

#endif
