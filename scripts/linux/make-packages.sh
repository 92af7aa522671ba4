# shellcheck shell=bash
# The Linux packages of a built tree, for ./package and scripts/test-package.
# Sourced, not run.

# quillon_linux_packages BUILD OUTDIR: runs CPack on the built tree BUILD
# (configured, its show, tools, data set, icon and man pages built) and
# leaves quillon_<version>_amd64.deb and quillon-linux-x86_64.tar.gz in
# OUTDIR. CPack's own staging stays out of OUTDIR.
quillon_linux_packages() {
  local build="$1" out="$2" staging status=0
  staging="$(mktemp -d)"
  (cd "$build" && cpack -G "DEB;TGZ" -B "$staging" >"$staging/cpack.log" 2>&1) || status=$?
  if [ "$status" -ne 0 ]; then
    cat "$staging/cpack.log" >&2
    rm -rf "$staging"
    echo "cpack failed" >&2
    return 1
  fi
  mkdir -p "$out"
  mv -f "$staging"/quillon_*_amd64.deb "$staging/quillon-linux-x86_64.tar.gz" "$out/"
  rm -rf "$staging"
}

# The version the build gives the programs and the packages: the one in
# project() of CMakeLists.txt.
quillon_version() {
  sed -n 's/^project(Quillon VERSION \([0-9.]*\).*/\1/p' "$QUILLON_ROOT/CMakeLists.txt"
}
