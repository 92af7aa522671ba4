# Serves the web package for the scripts that drive it in a browser
# (scripts/test-web, bench/web-vs-native). Sourced, not run.
#
# quillon_web_serve ZIP: unzips ZIP into a folder of its own and serves its
# quillon-web/ on 127.0.0.1 from a free port; sets quillon_web_url, and
# arranges that the server (by its pid) and the folder go when the script
# exits.
quillon_web_serve() {
  quillon_web_work="$(mktemp -d)"
  quillon_web_server=""
  trap quillon_web_stop EXIT
  (cd "$quillon_web_work" && unzip -q "$1")
  # Port 0: the system picks a free one, which the server prints.
  python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$quillon_web_work/quillon-web" \
    >"$quillon_web_work/server.log" 2>&1 &
  quillon_web_server=$!
  local port="" _
  for _ in $(seq 50); do
    port="$(grep -o 'port [0-9]*' "$quillon_web_work/server.log" | grep -o '[0-9]*' || true)"
    [ -n "$port" ] && break
    sleep 0.1
  done
  [ -n "$port" ] || { echo "the web server did not start" >&2; exit 1; }
  quillon_web_url="http://127.0.0.1:$port/"
}

quillon_web_stop() {
  if [ -n "${quillon_web_server:-}" ]; then
    # A killed server's wait reports the signal; that is no failure.
    kill "$quillon_web_server" 2>/dev/null && { wait "$quillon_web_server" 2>/dev/null || true; }
  fi
  rm -rf "${quillon_web_work:-}"
}

# The browser driver's own packages (puppeteer-core, pinned in
# tests/web/package-lock.json), from npm.
quillon_web_driver() {
  command -v npm >/dev/null || quillon_install $QUILLON_PACKAGES_WEB_NPM
  quillon_step "web: installing puppeteer-core from tests/web/package-lock.json"
  (cd "$QUILLON_ROOT/tests/web" && npm ci --no-audit --no-fund >/dev/null)
}
