# The demonstration that scripts/run gives without a display, and that
# scripts/test gives the packaged program: a few sample files digested through
# the real dialog. Needs korvane_wine_env --virtual (common.sh) and the driver
# of the Windows build that runs here, build/$KORVANE_WIN/tools/korvane_demo.exe
# (korvane_windows_build).

# korvane_demo EXE SCREENSHOT: runs EXE on a virtual desktop, has the driver
# type each sample's path and press OK, saves a screenshot, and prints the
# result box beside md5sum's lines. Fails when the two differ.
korvane_demo() {
  local exe=$1 screenshot=$2
  local samples
  samples=$(mktemp -d /tmp/korvane-demo.XXXXXX)
  printf '' > "$samples/empty.txt"
  printf 'The quick brown fox jumps over the lazy dog' > "$samples/fox.txt"
  head -c 3000000 /dev/urandom > "$samples/random.bin"
  printf '说明' > "$samples/说明.txt"
  local names=(empty.txt fox.txt random.bin 说明.txt) paths=() name
  for name in "${names[@]}"; do paths+=("$(winepath -w "$samples/$name")"); done

  # A virtual desktop draws captions and system menus without a window manager.
  wine explorer /desktop=korvane,640x480 "$exe" >/dev/null 2>&1 &
  # The driver must run on the same desktop to find the dialog. Whichever of
  # the two starts the desktop owns it, and stays until every program on it
  # has ended, which korvane.exe here never does: so neither is waited for,
  # only the driver's result file.
  wine explorer /desktop=korvane,640x480 "$KORVANE_ROOT/build/$KORVANE_WIN/tools/korvane_demo.exe" \
    "$(winepath -w "$samples/result.txt")" "${paths[@]}" >/dev/null 2>&1 &
  for _ in $(seq 600); do [ -e "$samples/result.txt" ] && break; sleep 0.1; done
  if [ ! -e "$samples/result.txt" ]; then
    echo "korvane_demo: the demonstration produced no result" >&2
    rm -rf "$samples"
    return 1
  fi
  import -window root -crop 640x480+0+0 +repage "$screenshot"

  local shown expected
  shown=$(iconv -f GBK -t UTF-8 "$samples/result.txt" | tr -d '\r')
  expected=$(cd "$samples" && md5sum "${names[@]}" | awk '{ print $2 " : " $1 }')
  rm -rf "$samples"
  echo "Result box:"
  echo "$shown"
  echo
  echo "md5sum:"
  echo "$expected"
  echo
  echo "Screenshot: $screenshot"
  if [ "$shown" != "$expected" ]; then
    echo "korvane_demo: the result box differs from md5sum" >&2
    return 1
  fi
}
