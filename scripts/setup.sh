#!/usr/bin/env bash
# Shared set-up of ./play and ./test: installs the Debian packages that are
# missing (as root; otherwise prints the one apt-get line to run), then
# configures and builds a tree. Sourced, not run.

# What ./play needs to build and run the show and the data-set generator;
# the test suite adds its own.
QUILLON_PACKAGES_PLAY="build-essential cmake pkg-config libsdl2-dev libgl-dev libegl-dev libglu1-mesa-dev libgl1-mesa-dri libegl-mesa0 libmpg123-dev libmp3lame-dev libstb-dev libfreetype-dev fonts-dejavu-core"
QUILLON_PACKAGES_TEST="libgtest-dev libbenchmark-dev xvfb xdotool x11-utils x11-xserver-utils clang libclang-rt-14-dev imagemagick"
# ./package cross-builds for Windows; ./test also runs that build under Wine
# (the GoogleTest sources of libgtest-dev serve its suite), with a PulseAudio
# null sink as the sound output: it plays in real time, where Wine drains
# ALSA's null device several times faster. The sound server alone is needed,
# without the desktop services it recommends.
QUILLON_PACKAGES_WINDOWS="mingw-w64"
QUILLON_PACKAGES_WINE="wine wine64"
QUILLON_PACKAGES_WINE_SOUND="pulseaudio"
# The web build: the compiler, and the browser and node (with its npm) that
# test it.
QUILLON_PACKAGES_WEB="emscripten chromium nodejs unzip"

# One line saying what the script does next.
quillon_step() { echo "== Quillon: $*"; }

# quillon_install [--no-recommends] PACKAGE...
quillon_install() {
  local apt_options=()
  if [ "${1:-}" = "--no-recommends" ]; then
    apt_options+=(--no-install-recommends)
    shift
  fi
  local wanted="$*" missing="" pkg
  for pkg in $wanted; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing="$missing $pkg"
    fi
  done
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Quillon needs these Debian packages. Run, as root:" >&2
    echo "  apt-get update && apt-get install -y ${apt_options[*]}$missing" >&2
    exit 1
  fi
  quillon_step "installing the missing Debian packages (a minute or two):$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q || { echo "apt-get update failed" >&2; exit 1; }
  # shellcheck disable=SC2086
  apt-get install -y -q "${apt_options[@]}" $missing || { echo "apt-get install failed" >&2; exit 1; }
}

# quillon_build DIR [cmake options...] [-- targets...]: configure and build
# DIR (every target, or only the ones named after --).
quillon_build() {
  local dir="$1" options=() targets=()
  shift
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do options+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  targets=("$@")
  mkdir -p "$dir"
  cmake -S "$QUILLON_ROOT" -B "$dir" "${options[@]}" >"$dir/configure.log" 2>&1 || {
    cat "$dir/configure.log" >&2
    echo "cmake configure failed" >&2
    exit 1
  }
  local target_args=()
  [ ${#targets[@]} -gt 0 ] && target_args=(--target "${targets[@]}")
  cmake --build "$dir" -j"$(nproc)" "${target_args[@]}" || { echo "build failed" >&2; exit 1; }
}

# Ends the script with one line saying what to do when no display can show
# the window: none is named, or the local X server named is not there.
quillon_require_display() {
  local hint="run it in a desktop session, or headless under a virtual X server: xvfb-run -a ./play (Debian package xvfb)"
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "./play: no display to show the window on (DISPLAY is not set); $hint" >&2
    exit 1
  fi
  if [ -z "${WAYLAND_DISPLAY:-}" ] && [[ "$DISPLAY" =~ ^(unix)?:([0-9]+)(\.[0-9]+)?$ ]] &&
     [ ! -S "/tmp/.X11-unix/X${BASH_REMATCH[2]}" ]; then
    echo "./play: no X server answers on DISPLAY=$DISPLAY; $hint" >&2
    exit 1
  fi
}
