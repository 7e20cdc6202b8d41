# Sourced by the other scripts: starting and stopping a persistent wineserver
# for one prefix (scripts/host-arch.sh picks the architecture).

wine_loader_for() {
  if [ "$1" = i686 ]; then echo /usr/lib/wine/wine; else echo /usr/lib/wine/wine64; fi
}

# Starts a wineserver that stays, then one throwaway program so that Wine's
# background services exist before any test runner owns our output pipes.
# The prefix may be new, but the folder it goes into must exist: a mistyped
# or unbuilt tree would otherwise get an empty prefix and tests with nothing
# to run.
wine_start() {
  local prefix=${1:-} arch=${2:-}
  case $arch in
    i686 | x86_64) ;;
    *)
      echo "wine_start: the architecture must be i686 or x86_64, not '$arch' (wine_start PREFIX ARCH)" >&2
      return 1
      ;;
  esac
  if [ "${prefix#/}" = "$prefix" ]; then
    echo "wine_start: the prefix must be an absolute path, not '$prefix' (e.g. \$PWD/build/$arch/wineprefix)" >&2
    return 1
  fi
  if [ ! -d "$(dirname -- "$prefix")" ]; then
    echo "wine_start: no folder $(dirname -- "$prefix") for the prefix '$prefix' (build the tree first: build_windows $arch)" >&2
    return 1
  fi
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
