#!/usr/bin/env bash
# Mounts the stand-in file system for a test run and unmounts it afterwards:
# the setup and the cleanup of the CTest fixtures korvane_slowfs and
# korvane_sharefs, and of the benchmarks' share.
#
#   mount.sh mount PROGRAM MOUNTPOINT [OPTION...]
#                                       starts PROGRAM (korvane_slowfs) on
#                                       MOUNTPOINT with the OPTIONs and waits
#                                       until it answers
#   mount.sh unmount MOUNTPOINT         unmounts it, and ends the file
#                                       system's process if it must
#
# The process's id and its output are kept beside the mount point, in
# MOUNTPOINT.pid and MOUNTPOINT.log. Where FUSE cannot be used (no /dev/fuse,
# no fusermount3), mounting ends with status 77, which the fixture takes for
# "skipped": the tests that need the mount then skip themselves.
set -uo pipefail

usage() {
  echo "usage: $0 mount PROGRAM MOUNTPOINT [OPTION...] | unmount MOUNTPOINT" >&2
  exit 2
}

# The process in PIDFILE when it is a file system serving MOUNTPOINT; nothing
# else, so that a stale file never names a stranger.
our_process() {
  local pidfile=$1 mountpoint=$2 pid
  [ -f "$pidfile" ] || return 1
  pid=$(cat "$pidfile")
  [[ $pid =~ ^[0-9]+$ ]] || return 1
  tr '\0' '\n' <"/proc/$pid/cmdline" 2>/dev/null | grep -qxF -- "$mountpoint" || return 1
  echo "$pid"
}

# Whether process PID still runs; one that has ended but is not reaped yet
# (its parent, the mounting script, is long gone) has.
alive() {
  local state
  state=$(sed -n 's/^State:[[:space:]]*\([A-Z]\).*/\1/p' "/proc/$1/status" 2>/dev/null)
  [ -n "$state" ] && [ "$state" != Z ]
}

# Ends the file system's process: asked first (it unmounts itself), then
# killed after five seconds.
end_process() {
  local pid=$1
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 50); do
    alive "$pid" || return 0
    sleep 0.1
  done
  echo "mount.sh: the file system (process $pid) did not end; killing it" >&2
  kill -KILL "$pid" 2>/dev/null || true
}

unmount_fs() {
  local mountpoint=$1 pidfile=$1.pid pid status=0
  pid=$(our_process "$pidfile" "$mountpoint") || pid=
  if mountpoint -q "$mountpoint" 2>/dev/null; then
    # A reader killed a moment ago may still hold a file open: try a few times
    # before detaching the mount lazily.
    for _ in $(seq 20); do
      fusermount3 -u "$mountpoint" 2>/dev/null && break
      sleep 0.25
    done
    if mountpoint -q "$mountpoint" 2>/dev/null; then
      echo "mount.sh: $mountpoint is still busy; detaching it" >&2
      fusermount3 -uz "$mountpoint" || status=1
    fi
  else
    # A file system that died leaves a mount that no longer answers.
    fusermount3 -uz "$mountpoint" 2>/dev/null || true
  fi
  if [ -n "$pid" ]; then
    # Once unmounted it ends by itself.
    for _ in $(seq 50); do
      alive "$pid" || break
      sleep 0.1
    done
    end_process "$pid"
  fi
  rm -f "$pidfile"
  return $status
}

mount_fs() {
  local program=$1 mountpoint=$2 pidfile=$2.pid log=$2.log pid
  shift 2
  if [ ! -e /dev/fuse ] || ! command -v fusermount3 >/dev/null; then
    echo "mount.sh: no FUSE here (/dev/fuse and fusermount3 are needed); the tests that read the stand-in file system will skip"
    exit 77
  fi
  [ -x "$program" ] || { echo "mount.sh: no program $program" >&2; exit 1; }
  # What an earlier run left: its process, or a mount that no longer answers.
  unmount_fs "$mountpoint" 2>/dev/null
  mkdir -p "$mountpoint" || exit 1

  # In the foreground of its own, so that its id is the one given here; its
  # output goes to the log, not to ctest, which would wait for it otherwise.
  "$program" "$@" -f "$mountpoint" </dev/null >"$log" 2>&1 &
  pid=$!
  echo "$pid" >"$pidfile"
  for _ in $(seq 100); do
    if ! alive "$pid"; then
      echo "mount.sh: the file system ended before it answered; its output:" >&2
      cat "$log" >&2
      rm -f "$pidfile"
      exit 1
    fi
    if mountpoint -q "$mountpoint" && [ -n "$(ls -A "$mountpoint" 2>/dev/null)" ]; then
      echo "mounted $program on $mountpoint (process $pid)"
      exit 0
    fi
    sleep 0.1
  done
  echo "mount.sh: $mountpoint did not answer within ten seconds" >&2
  unmount_fs "$mountpoint"
  exit 1
}

case "${1:-}" in
  mount) [ $# -ge 3 ] || usage; shift; mount_fs "$@" ;;
  unmount) [ $# -eq 2 ] || usage; unmount_fs "$2" ;;
  *) usage ;;
esac
