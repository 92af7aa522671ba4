#!/usr/bin/env bash
# Shared set-up of ./play and ./test: installs the Debian packages that are
# missing (as root; otherwise prints the one apt-get line to run), then
# configures and builds a tree. Sourced, not run.

QUILLON_PACKAGES_BUILD="build-essential cmake pkg-config libsdl2-dev libgl-dev libegl-dev libglu1-mesa-dev libgl1-mesa-dri libegl-mesa0 libmpg123-dev libmp3lame-dev libstb-dev libfreetype-dev fonts-dejavu-core libgtest-dev libbenchmark-dev"
QUILLON_PACKAGES_TEST="xvfb xdotool x11-utils clang libclang-rt-14-dev imagemagick"

quillon_install() {
  local wanted="$*" missing="" pkg
  for pkg in $wanted; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing="$missing $pkg"
    fi
  done
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Quillon needs these Debian packages. Run, as root:" >&2
    echo "  apt-get update && apt-get install -y$missing" >&2
    exit 1
  fi
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q || { echo "apt-get update failed" >&2; exit 1; }
  # shellcheck disable=SC2086
  apt-get install -y -q $missing || { echo "apt-get install failed" >&2; exit 1; }
}

# quillon_build DIR [cmake options...]: configure (once) and build DIR.
quillon_build() {
  local dir="$1"
  shift
  mkdir -p "$dir"
  cmake -S "$QUILLON_ROOT" -B "$dir" "$@" >"$dir/configure.log" 2>&1 || {
    cat "$dir/configure.log" >&2
    echo "cmake configure failed" >&2
    exit 1
  }
  cmake --build "$dir" -j"$(nproc)" || { echo "build failed" >&2; exit 1; }
}
