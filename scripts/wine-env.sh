# Sourced by the other scripts: which Windows architecture this host can run,
# and starting/stopping a persistent wineserver for one prefix.

# 32-bit Linux programs (and so 32-bit Wine) cannot run on every kernel; the
# tests then run the x86_64 build of the same sources under 64-bit Wine.
wine_test_arch() {
  if [ -x /usr/lib/wine/wine ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo i686
  else
    echo x86_64
  fi
}

wine_loader_for() {
  if [ "$1" = i686 ]; then echo /usr/lib/wine/wine; else echo /usr/lib/wine/wine64; fi
}

# Starts a wineserver that stays, then one throwaway program so that Wine's
# background services exist before any test runner owns our output pipes.
wine_start() {
  local prefix=$1 arch=$2
  mkdir -p "$prefix"
  (
    export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    wineserver -p </dev/null >/dev/null 2>&1 &
    "$(wine_loader_for "$arch")" cmd /c exit </dev/null >/dev/null 2>&1 || true
  )
}

wine_stop() {
  WINEPREFIX="$1" wineserver -k </dev/null >/dev/null 2>&1 || true
}
