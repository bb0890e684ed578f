# Shared by the scripts: installing what is missing, and a virtual display with
# a private Wine prefix for the Windows build.

KORVANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Debian packages the builds, the tests and the demonstration need.
KORVANE_PACKAGES=(
  cmake ninja-build g++ googletest libbenchmark-dev libssl-dev
  fuse3 libfuse3-dev pkg-config
  clang-14 libclang-rt-14-dev llvm-14
  g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  wine wine32:i386 fonts-wine xvfb xauth x11-utils xdotool imagemagick locales fonts-wqy-microhei
  python3
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the packages that are missing (wine32 needs the i386 architecture)
# and the Chinese locale that gives Wine the ANSI code page 936.
korvane_install() {
  korvane_install_packages "${KORVANE_PACKAGES[@]}"
  if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
    as_root sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
    as_root locale-gen
  fi
}

# korvane_install_packages PACKAGE...: installs those of them that are missing.
korvane_install_packages() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    dpkg --print-foreign-architectures | grep -qx i386 || as_root dpkg --add-architecture i386
    # A mirror caught mid-sync fails one list or another; the install itself
    # says whether what is needed could be had.
    as_root apt-get update -q || echo "apt-get update reported errors; installing with the lists at hand" >&2
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
}

# Starts Xvfb on a free display unless one is given (or --virtual asks for
# one anyway), and prepares a private Wine prefix under build/ with the Chinese
# locale. Sets DISPLAY, WINEPREFIX, LC_ALL and WINEDEBUG for the caller;
# korvane_stop_display undoes the start.
korvane_wine_env() {
  export WINEDEBUG=-all
  export LC_ALL=zh_CN.UTF-8
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

# Makes DIR the Wine prefix of the caller (WINEPREFIX), creating it first
# where it does not exist yet; the first start in a new prefix takes long, so
# it is made here rather than by the first program.
korvane_wine_prefix() {
  export WINEPREFIX=$1
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
