#!/usr/bin/env bash
# Shared set-up of ./play and ./test: installs the Debian packages that are
# missing (as root; otherwise prints the one apt-get line to run), then
# configures and builds a tree. Sourced, not run.

# What ./play needs to build and run the show and the data-set generator;
# the test suite adds its own.
QUILLON_PACKAGES_PLAY="build-essential cmake pkg-config libsdl2-dev libgl-dev libegl-dev libglu1-mesa-dev libgl1-mesa-dri libegl-mesa0 libmpg123-dev libmp3lame-dev libstb-dev libfreetype-dev fonts-dejavu-core fonts-league-spartan"
QUILLON_PACKAGES_TEST="libgtest-dev libbenchmark-dev xvfb xdotool x11-utils x11-xserver-utils clang libclang-rt-14-dev imagemagick ffmpeg python3 tesseract-ocr"
# ./package cross-builds for Windows; ./test also runs that build under Wine
# (the GoogleTest sources of libgtest-dev serve its suite), with a PulseAudio
# null sink as the sound output: it plays in real time, where Wine drains
# ALSA's null device several times faster. The sound server alone is needed,
# without the desktop services it recommends.
QUILLON_PACKAGES_WINDOWS="mingw-w64"
QUILLON_PACKAGES_WINE="wine wine64"
QUILLON_PACKAGES_WINE_SOUND="pulseaudio"
# ./package's Linux packages: CPack's Debian generator finds the programs
# with file(1) and their libraries with dpkg-shlibdeps (dpkg-dev, part of
# build-essential). Their test checks the package, its menu entry and its
# man pages with lintian, desktop-file-validate and man.
QUILLON_PACKAGES_LINUX="file"
QUILLON_PACKAGES_LINUX_TEST="lintian desktop-file-utils man-db"
# The web build: the compiler, and the browser and node that test it. npm
# comes with some builds of node; Debian's own is a package of its own,
# installed only where no npm command exists (it conflicts with a node that
# brings one).
QUILLON_PACKAGES_WEB="emscripten chromium nodejs unzip"
QUILLON_PACKAGES_WEB_NPM="npm"

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

# quillon_data_complete DIR: true when DIR holds the whole data set that the
# generator listed in DIR/show.manifest, every file at its listed size.
quillon_data_complete() {
  local dir="$1" size name count=0
  [ -f "$dir/show.manifest" ] || return 1
  while read -r size name; do
    [ -n "$name" ] || continue
    [ -f "$dir/$name" ] && [ "$(stat -c %s "$dir/$name")" = "$size" ] || return 1
    count=$((count + 1))
  done <"$dir/show.manifest"
  [ "$count" -gt 0 ]
}

# quillon_refresh_data GENERATOR DIR STAMP: makes the data set in DIR again
# when a file of it is missing or changed, or the generator is newer than
# STAMP; then checks it against its manifest.
quillon_refresh_data() {
  local generator="$1" dir="$2" stamp="$3"
  if ! quillon_data_complete "$dir" || [ ! -e "$stamp" ] || [ "$generator" -nt "$stamp" ]; then
    quillon_step "generating the data set into $dir (pictures, scenes, mesh and music; about half a minute)"
    "$generator" "$dir" >/dev/null || { echo "generating the data set failed" >&2; exit 1; }
    touch "$stamp"
  fi
  quillon_data_complete "$dir" || {
    echo "./play: $dir: the data set does not match its manifest after generating it" >&2
    exit 1
  }
}

# One line on how to play without a sound device, printed (the show still
# starts) when none is seen: no ALSA playback device and no sound server, and
# no driver or --no-sound chosen. The show itself then stops with its
# "BASS init error ( 2 )" line.
QUILLON_SILENT_HINT="to play on the silent clock: ./play --no-sound, or SDL_AUDIODRIVER=dummy ./play"
quillon_hint_sound() {
  local arg
  for arg in "$@"; do [ "$arg" = "--no-sound" ] && return 0; done
  [ -n "${SDL_AUDIODRIVER:-}" ] && return 0
  compgen -G "/dev/snd/pcmC*p" >/dev/null && return 0
  local runtime="${XDG_RUNTIME_DIR:-/run/user/$(id -u)}"
  [ -S "$runtime/pulse/native" ] || [ -S "$runtime/pipewire-0" ] || [ -n "${PULSE_SERVER:-}" ] && return 0
  echo "./play: no sound device seen (no ALSA playback device, no sound server); $QUILLON_SILENT_HINT" >&2
}

# Ends the script with one line saying what to do when no display can show
# the window: none is named, or the local X server named is not there.
quillon_require_display() {
  local hint="run it in a desktop session, or headless under a virtual X server: xvfb-run -a ./play (Debian package xvfb); without a sound device too: SDL_AUDIODRIVER=dummy xvfb-run -a ./play"
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
