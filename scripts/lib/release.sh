# The release: korvane.exe built alone (the README's "Building the program
# alone" recipe), the zip that ships it with README.txt and its own digest,
# and the folder that publishes the zip with SHA256SUMS. scripts/package
# makes it; scripts/test checks that its bytes do not depend on the folder
# and that the digests check out where a user checks them.

# korvane_release_source MODE DIR: puts the sources into DIR, a new folder:
# MODE "commit" takes the current commit, "worktree" the working tree's files
# (tracked and new, not the ignored ones) as they stand.
korvane_release_source() {
  local mode=$1 dir=$2
  rm -rf "$dir"
  mkdir -p "$dir"
  case "$mode" in
    commit) git -C "$KORVANE_ROOT" archive --format=tar HEAD | tar -x -C "$dir" ;;
    worktree)
      (cd "$KORVANE_ROOT" && git ls-files -z --cached --others --exclude-standard |
         xargs -0 -r ls -d 2>/dev/null | tar -c -T - -f -) | tar -x -C "$dir" ;;
    *) echo "korvane_release_source: unknown mode $mode" >&2; return 2 ;;
  esac
}

# korvane_release SOURCE BUILD: builds the program alone from SOURCE in BUILD
# and zips it with README.txt and korvane.exe.sha256 (the program's digest in
# sha256sum's form, for a check after unzipping); prints the zip's path. The
# zip's members carry the current commit's date, so that nothing in it
# depends on when it was made.
korvane_release() {
  local source=$1 build=$2
  rm -rf "$build"
  (cd "$source" &&
     cmake -G Ninja -B "$build" --toolchain cmake/toolchain-i686-mingw.cmake \
       -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF &&
     cmake --build "$build" --target korvane) >"$build.log" 2>&1 ||
    { tail -n 30 "$build.log" >&2; return 1; }
  local version zip
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  zip="$build/korvane-$version-win32.zip"
  (cd "$build/app" && sha256sum korvane.exe >korvane.exe.sha256) || return 1
  python3 "$KORVANE_ROOT/scripts/lib/make_zip.py" "$zip" "$(git -C "$KORVANE_ROOT" log -1 --format=%ct)" \
    "$build/app/korvane.exe" "$build/app/README.txt" "$build/app/korvane.exe.sha256" || return 1
  echo "$zip"
}

# korvane_release_dist ZIP DIST: makes DIST (a new folder) what is published:
# the zip and SHA256SUMS, which lists the files beside it (the zip), so that
# sha256sum -c passes in DIST as it stands.
korvane_release_dist() {
  local zip=$1 dist=$2
  rm -rf "$dist"
  mkdir -p "$dist"
  cp "$zip" "$dist/" || return 1
  (cd "$dist" && sha256sum "$(basename "$zip")" >SHA256SUMS)
}

# korvane_release_check DIST UNPACKED: checks the digests as a user does:
# SHA256SUMS in DIST, then the zip unpacked into UNPACKED (a new folder) and
# korvane.exe.sha256 there.
korvane_release_check() {
  local dist=$1 unpacked=$2 zip
  (cd "$dist" && sha256sum --strict -c SHA256SUMS) || return 1
  zip=$(sed -n '1s/^[0-9a-f]\{64\}  //p' "$dist/SHA256SUMS")
  rm -rf "$unpacked"
  python3 -m zipfile -e "$dist/$zip" "$unpacked" || return 1
  (cd "$unpacked" && sha256sum --strict -c korvane.exe.sha256)
}

# korvane_release_twice MODE: builds the release from MODE's sources (as for
# korvane_release_source) in two folders whose names and lengths differ, and
# compares korvane.exe and the zip byte for byte. A time stamp or a folder
# that creeps into either makes them differ. Leaves the first build's zip
# path in KORVANE_RELEASE_ZIP.
korvane_release_twice() {
  local mode=$1 work="$KORVANE_ROOT/build/release-check"
  local first second start=$SECONDS
  korvane_release_source "$mode" "$work/a/korvane"
  korvane_release_source "$mode" "$work/second-place/korvane-copy"
  first=$(korvane_release "$work/a/korvane" "$work/a/build") || return 1
  second=$(korvane_release "$work/second-place/korvane-copy" "$work/second-place/build") || return 1
  local status=0 name
  for name in app/korvane.exe "$(basename "$first")"; do
    if cmp "$(dirname "$first")/$name" "$(dirname "$second")/$name"; then
      echo "same bytes in both folders: $name ($(stat -c %s "$(dirname "$first")/$name") bytes)"
    else
      echo "korvane_release_twice: $name differs between the two folders" >&2
      status=1
    fi
  done
  echo "two builds of the program alone in $((SECONDS - start)) s"
  KORVANE_RELEASE_ZIP=$first
  return $status
}
