#!/usr/bin/env bash
# Runs one libFuzzer target for a bounded time, starting from the committed
# seeds, and prints how many inputs it tried.
#
#   run_fuzzer.sh FUZZER SEED_DIR SECONDS ARTIFACT_DIR [libFuzzer flags...]
#
# The seeds are only read: new inputs go to a scratch corpus that is removed
# afterwards. An input that crashes the target is kept in ARTIFACT_DIR, and the
# whole fuzzer log is printed then; otherwise only the summary lines are.
set -euo pipefail

fuzzer=$1 seeds=$2 seconds=$3 artifacts=$4
shift 4
name=$(basename "$fuzzer")

scratch=$(mktemp -d "${TMPDIR:-/tmp}/korvane-$name.XXXXXX")
log="$scratch.log"
started="$scratch.started"
trap 'rm -rf "$scratch" "$log" "$started"' EXIT
mkdir -p "$artifacts"
touch "$started"

status=0
"$fuzzer" "$scratch" "$seeds" -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix="$artifacts/$name-" "$@" >"$log" 2>&1 || status=$?

runs=$(sed -n 's/^Done \([0-9]*\) runs in .*/\1/p' "$log")
if [ "$status" -ne 0 ] || [ "${runs:-0}" -eq 0 ]; then
  cat "$log"
  echo "$name: FAILED (exit status $status, ${runs:-no} runs done)"
  find "$artifacts" -name "$name-*" -newer "$started" -exec echo "Reproduce: $fuzzer" {} \;
  exit 1
fi
grep -E '^INFO: seed corpus:|^#[0-9]+[[:space:]]+DONE|^Done [0-9]+ runs' "$log"
