# Shared by the scripts: installing what is missing, and a virtual display with
# a private Wine prefix for the Windows build.

KORVANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Debian packages the builds, the tests and the demonstration need on every
# machine: the Windows program is built for i686 (the release) and for x86-64
# (where 32-bit processes do not run, the Windows suites run on that build).
KORVANE_PACKAGES=(
  cmake ninja-build g++ googletest libbenchmark-dev libssl-dev
  fuse3 libfuse3-dev pkg-config
  clang-14 libclang-rt-14-dev llvm-14
  g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  wine wine64 fonts-wine xvfb xauth x11-utils xdotool imagemagick locales fonts-wqy-microhei
  python3
)
# ...and where the kernel runs 32-bit processes, 32-bit Wine.
KORVANE_PACKAGES_32BIT=(wine32:i386)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# korvane_runs_32bit: whether this kernel starts a 32-bit process, found out
# once by starting one: 96 bytes of i386 ELF that only exit with status 42.
# Some kernels have their 32-bit emulation off (ia32_emulation=off), and then
# every 32-bit program, Wine's loader among them, ends in "Exec format error";
# nothing about the processor tells.
KORVANE_NO_32BIT_REASON="this kernel runs no 32-bit process"
korvane_runs_32bit() {
  if [ -z "${KORVANE_RUNS_32BIT:-}" ]; then
    local probe status=0
    probe=$(mktemp /tmp/korvane-i386.XXXXXX)
    # The ELF header, one loadable segment, then the code: mov eax, 1 (exit);
    # mov ebx, 42; int 0x80.
    local elf=(
      '\x7fELF\x01\x01\x01\x00' '\x00\x00\x00\x00\x00\x00\x00\x00'
      '\x02\x00\x03\x00\x01\x00\x00\x00' '\x54\x80\x04\x08\x34\x00\x00\x00'
      '\x00\x00\x00\x00\x00\x00\x00\x00' '\x34\x00\x20\x00\x01\x00\x00\x00'
      '\x00\x00\x00\x00'
      '\x01\x00\x00\x00\x00\x00\x00\x00' '\x00\x80\x04\x08\x00\x80\x04\x08'
      '\x60\x00\x00\x00\x60\x00\x00\x00' '\x05\x00\x00\x00\x00\x10\x00\x00'
      '\xb8\x01\x00\x00\x00' '\xbb\x2a\x00\x00\x00' '\xcd\x80'
    )
    printf '%b' "${elf[@]}" >"$probe"
    chmod +x "$probe"
    "$probe" 2>/dev/null || status=$?
    rm -f "$probe"
    if [ $status -eq 42 ]; then KORVANE_RUNS_32BIT=yes; else KORVANE_RUNS_32BIT=no; fi
  fi
  [ "$KORVANE_RUNS_32BIT" = yes ]
}

# korvane_windows_build: the Windows build whose programs run here. Sets
# KORVANE_WIN, its preset (win32: the i686 program we ship; win64: the same
# sources for x86-64, where this kernel runs no 32-bit process), and
# KORVANE_WIN_NOTE: empty, or which build stands in and why.
korvane_windows_build() {
  if korvane_runs_32bit; then
    KORVANE_WIN=win32 KORVANE_WIN_NOTE=
  else
    KORVANE_WIN=win64 KORVANE_WIN_NOTE="x86-64 build: $KORVANE_NO_32BIT_REASON"
  fi
}

# Installs the packages that are missing (wine32 needs the i386 architecture)
# and the Chinese locale that gives Wine the ANSI code page 936.
korvane_install() {
  local packages=("${KORVANE_PACKAGES[@]}")
  if korvane_runs_32bit; then
    packages+=("${KORVANE_PACKAGES_32BIT[@]}")
  fi
  korvane_install_packages "${packages[@]}"
  if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
    as_root sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
    as_root locale-gen
  fi
}

# korvane_install_packages PACKAGE...: installs those of them that are missing.
# A mirror caught mid-sync fails one list or another, at times for hours, and
# the lists of one architecture can then lag the other's: a library of both
# (the i386 one for wine32) then has no version that is the same in both, and
# apt gives up on the whole install. Preferring the release's own suite over
# its updates gives both the same version; it is the fallback only, as it
# passes over the updates.
korvane_install_packages() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "Installing: ${missing[*]}"
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
    dpkg --print-foreign-architectures | grep -qx i386 || as_root dpkg --add-architecture i386
  fi
  local try
  for try in 1 2 3; do
    as_root apt-get update -q && break
    if [ $try -lt 3 ]; then
      echo "apt-get update reported errors (try $try of 3); trying again in 10 s" >&2
      sleep 10
    else
      echo "apt-get update reported errors three times; installing with the lists at hand" >&2
    fi
  done
  local log
  log=$(mktemp /tmp/korvane-apt.XXXXXX)
  if ! korvane_apt_install "$log" "${missing[@]}"; then
    local suite
    suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    if [ -z "$suite" ]; then
      korvane_install_failed "$log" "${missing[@]}"
      return 1
    fi
    echo "The install did not resolve; installing again with the release's own suite preferred (-t $suite)" >&2
    if ! korvane_apt_install "$log" -t "$suite" "${missing[@]}"; then
      korvane_install_failed "$log" "${missing[@]}"
      return 1
    fi
  fi
  rm -f "$log"
}

# korvane_apt_install LOG [APT-GET ARGS...]: apt-get install, its output shown
# and kept in LOG.
korvane_apt_install() {
  local log=$1
  shift
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@" 2>&1 |
    tee "$log"
  return "${PIPESTATUS[0]}"
}

# korvane_install_failed LOG PACKAGE...: says what could not be installed, and
# apt's reasons from LOG.
korvane_install_failed() {
  local log=$1
  shift
  {
    echo "Could not install: $*"
    echo "apt-get said:"
    grep -E '^(E:| .* but | .*is not installable|.*Depends:)' "$log" | sed 's/^/  /' | tail -n 20
  } >&2
  rm -f "$log"
}

# Starts Xvfb on a free display unless one is given (or --virtual asks for
# one anyway), and prepares a private Wine prefix under build/ with the Chinese
# locale, for the Windows build that runs here (korvane_windows_build). Sets DISPLAY, WINEPREFIX, LC_ALL and WINEDEBUG for the caller;
# korvane_stop_display undoes the start.
korvane_wine_env() {
  export WINEDEBUG=-all
  # For the programs this shell starts, Wine among them. The shell itself may
  # have started before korvane_install generated the locale, and then it
  # fails to take it and warns, though every program it starts finds it.
  export LC_ALL=zh_CN.UTF-8 2>/dev/null
  export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko installer prompts
  local virtual=no
  if [ -z "${DISPLAY:-}" ] || [ "${1:-}" = "--virtual" ]; then
    local display=99
    while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
    Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    KORVANE_XVFB_PID=$!
    export DISPLAY=":$display"
    virtual=yes
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
  fi
  korvane_wine_prefix "$KORVANE_ROOT/build/wineprefix"
  # Xvfb has no window manager, and Wine's X11 driver waits two seconds for
  # one whenever it hides a window that it takes for managed: every dialog and
  # message box that closes. There every program places its own windows; on
  # the user's display the manager does.
  local key='HKCU\Software\Wine\X11 Driver' unmanaged=no
  awk '/^\[/ { here = index($0, "[Software\\\\Wine\\\\X11 Driver]") == 1 } here && /^"Managed"="N"/ { found = 1 }
    END { exit !found }' "$WINEPREFIX/user.reg" 2>/dev/null && unmanaged=yes
  if [ $virtual = yes ] && [ $unmanaged = no ]; then
    wine reg add "$key" /v Managed /d N /f >/dev/null 2>&1 || true
  elif [ $virtual = no ] && [ $unmanaged = yes ]; then
    wine reg delete "$key" /v Managed /f >/dev/null 2>&1 || true
  fi
  wineserver -w 2>/dev/null || true
}

# korvane_wine_prefix DIR [--fresh]: makes DIR, suffixed with the prefix's
# width, the Wine prefix of the caller (WINEPREFIX), creating it first where it
# does not exist yet (or anew, with --fresh); the first start in a new prefix
# takes long, so it is made here rather than by the first program. The i686
# programs get a 32-bit prefix, as where 32-bit Wine alone is installed; the
# x86-64 build a 64-bit one.
korvane_wine_prefix() {
  korvane_windows_build
  if [ "$KORVANE_WIN" = win32 ]; then export WINEARCH=win32; else export WINEARCH=win64; fi
  export WINEPREFIX=$1-$WINEARCH
  [ "${2:-}" != --fresh ] || rm -rf "$WINEPREFIX"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
  fi
  wineserver -w 2>/dev/null || true
}

korvane_stop_display() {
  wineserver -k 2>/dev/null || true
  if [ -n "${KORVANE_XVFB_PID:-}" ]; then
    kill "$KORVANE_XVFB_PID" 2>/dev/null || true
    wait "$KORVANE_XVFB_PID" 2>/dev/null || true
  fi
}
