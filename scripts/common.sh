# Shared set-up for the build and test scripts: installs what a fresh Debian machine lacks,
# finds wine, and configures and builds the project. Sourced, not run.
set -euo pipefail

VELMORA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VELMORA_BUILD=${VELMORA_BUILD:-$VELMORA_ROOT/build}

velmora_install() {
  local need=()
  command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64)
  [ -x /usr/lib/wine/wine64 ] || need+=(wine64)
  command -v cmake >/dev/null || need+=(cmake)
  command -v ninja >/dev/null || need+=(ninja-build)
  [ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
  command -v zip >/dev/null || need+=(zip)
  if [ ${#need[@]} -gt 0 ]; then
    echo "Installing: ${need[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need[@]}" >/dev/null
  fi
}

velmora_wine_start() {
  export WINEDEBUG=-all
  export WINEPREFIX=${WINEPREFIX:-$HOME/.wine}
  VELMORA_WINE=/usr/lib/wine/wine64
  VELMORA_WINESERVER=/usr/lib/wine/wineserver64
  [ -x "$VELMORA_WINESERVER" ] || VELMORA_WINESERVER=/usr/lib/wine/wineserver
  # One persistent server: without it every test program pays seconds of wine start-up.
  setsid "$VELMORA_WINESERVER" -p </dev/null >/dev/null 2>&1 &
  # Start wine's own services now, detached from our output: started later by the first test
  # program, they would inherit its output pipe and keep it open.
  local init=""
  [ -f "$WINEPREFIX/system.reg" ] || init=-i
  "$VELMORA_WINE" wineboot $init </dev/null >/dev/null 2>&1 || true
}

velmora_wine_stop() {
  [ -n "${VELMORA_WINESERVER:-}" ] && "$VELMORA_WINESERVER" -k >/dev/null 2>&1 || true
}

# A small file system of its own that a test can fill up, where this machine lets the script mount
# one; the tests that need it say so and are skipped elsewhere.
velmora_full_disk_mount() {
  local dir=/tmp/velmora-full-$$ sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo -n"
  mkdir -p "$dir"
  if $sudo mount -t tmpfs -o size=1m,mode=1777 velmora-full "$dir" 2>/dev/null; then
    VELMORA_FULL_DISK_DIR=$dir
    export VELMORA_FULL_DISK="Z:${dir//\//\\}"
  else
    rmdir "$dir" 2>/dev/null || true
    echo "No small file system could be mounted here: the full-disk tests will be skipped."
  fi
}

velmora_full_disk_unmount() {
  [ -n "${VELMORA_FULL_DISK_DIR:-}" ] || return 0
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo -n"
  $sudo umount "$VELMORA_FULL_DISK_DIR" 2>/dev/null && rmdir "$VELMORA_FULL_DISK_DIR" 2>/dev/null
  VELMORA_FULL_DISK_DIR=
  return 0
}

velmora_build() {
  cmake -S "$VELMORA_ROOT" -B "$VELMORA_BUILD" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$VELMORA_ROOT/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$VELMORA_BUILD" -j "$(nproc)" "$@"
}
