#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks for building and testing; does
# nothing (and takes well under a second) when everything is already there.
# Runs as root (CI does). It stops only when a package the build cannot do
# without fails to install; a stale package index or a missing 32-bit Wine
# is a warning, and the tests then run on the x86_64 build. So is a missing
# i686 Linux compiler or sanitizer runtime: test.sh then skips the neutral
# code's 32-bit run.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/host-arch.sh

required=(cmake ninja-build g++-mingw-w64-i686 mingw-w64-i686-dev g++-mingw-w64-x86-64
  mingw-w64-x86-64-dev mingw-w64-tools googletest libgtest-dev clang libclang-rt-14-dev
  clang-format llvm-14 lld wine wine64 python3
  # report-intake: Beast/Asio, SQLite (and its shell for backups), pugixml,
  # libpq, OpenSSL's SHA-256, and a PostgreSQL server for the store's tests.
  pkg-config libboost-dev libsqlite3-dev sqlite3 libpugixml-dev libpq-dev libssl-dev postgresql-15)

# The neutral code's tests at the shipped pointer size, as i386 Linux
# programs; where the kernel refuses 32-bit code they run under qemu.
# (libc6-dev-i386-cross is only a recommendation of the compiler.)
native32=(g++-i686-linux-gnu libc6-dev-i386-cross libasan8-i386-cross libubsan1-i386-cross)
runs_32bit=0
if host_runs_32bit; then
  runs_32bit=1
else
  native32+=(qemu-user-static)
fi

# One query for all of them: the check must cost nothing when all is there.
installed=$(dpkg-query -W -f='${Package} ${Status}\n' "${required[@]}" "${native32[@]}" \
  2>/dev/null | awk '/ install ok installed$/ {print $1}')
missing=()
for pkg in "${required[@]}"; do
  grep -qx "$pkg" <<<"$installed" || missing+=("$pkg")
done
missing32=()
for pkg in "${native32[@]}"; do
  grep -qx "$pkg" <<<"$installed" || missing32+=("$pkg")
done
want_wine32=0
if [ $runs_32bit -eq 1 ] && ! have_wine32; then
  want_wine32=1
fi
if [ ${#missing[@]} -eq 0 ] && [ ${#missing32[@]} -eq 0 ] && [ $want_wine32 -eq 0 ]; then
  exit 0
fi

export DEBIAN_FRONTEND=noninteractive
# A mirror in mid-sync fails one index (exit 100) while the others load; the
# packages still install from those, so a failing update is only a warning.
update_index() {
  local try
  for try in 1 2 3; do
    apt-get update -q >/tmp/bootstrap-apt-update.log 2>&1 && return 0
    [ $try -lt 3 ] && sleep 5
  done
  echo "bootstrap: warning: apt-get update failed 3 times; going on with the indexes that loaded" \
    "($(grep -m1 -E '^(E|W):' /tmp/bootstrap-apt-update.log || echo 'see /tmp/bootstrap-apt-update.log'))"
}

install_packages() {
  apt-get install -y -q --no-install-recommends "$@" >/tmp/bootstrap-apt-install.log 2>&1
}

if [ ${#missing[@]} -gt 0 ]; then
  echo "bootstrap: installing ${missing[*]}"
  update_index
  if ! install_packages "${missing[@]}"; then
    # One at a time, to name exactly what cannot be had.
    failed=()
    for pkg in "${missing[@]}"; do
      install_packages "$pkg" || failed+=("$pkg")
    done
    if [ ${#failed[@]} -gt 0 ]; then
      echo "bootstrap: error: cannot install ${failed[*]} (see /tmp/bootstrap-apt-install.log)" >&2
      exit 1
    fi
  fi
fi

# Not essential: without them only the neutral code's 32-bit run is skipped.
if [ ${#missing32[@]} -gt 0 ]; then
  echo "bootstrap: installing ${missing32[*]}"
  [ ${#missing[@]} -gt 0 ] || update_index
  install_packages "${missing32[@]}" ||
    echo "bootstrap: warning: ${missing32[*]} did not all install; the neutral code's" \
      "32-bit test run is skipped (see /tmp/bootstrap-apt-install.log)"
fi

# The i386 architecture is added only where 32-bit programs run, so that a
# broken i386 index can never stand in the way of the amd64 packages.
if [ $want_wine32 -eq 1 ]; then
  echo "bootstrap: this kernel runs 32-bit programs: installing wine32:i386"
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  update_index
  install_packages wine32:i386 ||
    echo "bootstrap: warning: wine32:i386 did not install; the tests run on the x86_64 build"
fi
exit 0
