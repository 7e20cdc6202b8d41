# Sourced by the other scripts: starting and stopping a persistent wineserver
# for one prefix (scripts/host-arch.sh picks the architecture).

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
