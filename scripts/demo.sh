#!/usr/bin/env bash
# The road of an error, end to end, in a folder of its own (demo-out/): two
# programs of the suite log from two modules, the next day's first load rolls
# the log over, the pending log is dumped, the report comes back through COM,
# is uploaded to a collector on the loopback interface, and is gone.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/prepare.sh
echo "== The demo runs as $(describe_wine_arches "$arch"): $arch_reason"

echo "== Building the $arch tree (quiet)"
build_windows "$arch" >/dev/null
out=$PWD/demo-out
rm -rf "$out"
mkdir -p "$out/data" "$out/suite" "$out/collector"
prefix=$PWD/build/$arch/wineprefix
run=build/$arch/wine-run.sh
collector_pid=
finish() {
  [ -n "$collector_pid" ] && kill "$collector_pid" 2>/dev/null
  wine_stop "$prefix"
}
trap finish EXIT
wine_start "$prefix" "$arch"
# Wine's drive Z: is the Linux root.
export CRT_DATA_DIR="Z:${out//\//\\}\\data"
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# Two programs of the suite, each beside its own copy of the libraries.
for program in player library; do
  cp "build/$arch/bin/logtool.exe" "$out/suite/$program.exe"
done
cp build/$arch/bin/{LogError.dll,crt.dll} "$out/suite/"
tool="build/$arch/bin/logtool.exe"
step() { printf '\n== %s\n' "$*"; }
# Prints the command as typed (quoting what needs it), then runs it.
show() {
  local arg line='$'
  for arg in "$@"; do
    arg=${arg//$out/demo-out}
    [[ -z $arg || $arg == *' '* ]] && arg="\"$arg\""
    line+=" $arg"
  done
  echo "$line"
  "$run" "$@"
}

step "1. Two programs log, from two modules each (their own code and a library)"
show "$out/suite/player.exe" log --kind error --module "$(winpath "$out/suite/crt.dll")" \
  --value 'D:\media\a.avi' "Cannot open file"
show "$out/suite/player.exe" log --kind error --module "$(winpath "$out/suite/crt.dll")" \
  --value 'D:\media\a.avi' "Cannot open file"
show "$out/suite/player.exe" log --kind warning --code 7 "Slow decoder"
show "$out/suite/library.exe" log --kind exception --module "$(winpath "$out/suite/LogError.dll")" \
  --value "" "Access violation"
ls -l "$out/data" | awk 'NR > 1 {print "   " $5 " bytes  " $9}'

step "2. The next day: the first load of the library merges error.Profile into error.bf"
show "$tool" config set General LogErrorDate 2000.01.01
show "$out/suite/library.exe" log --kind warning "First record of the new day"
ls -l "$out/data" | awk 'NR > 1 {print "   " $5 " bytes  " $9}'

step "3. What a support engineer sees in the pending log"
show "$tool" dump "$CRT_DATA_DIR\\error.bf"

step "4. The report, through the sender object (COM)"
show "$tool" register
show "$tool" report

step "5. The sending client uploads it to a collector on the loopback interface"
python3 tools/collector/collector.py --port 0 --mode ok --out "$out/collector" --lifetime 60 \
  >"$out/collector/port" 2>"$out/collector/log" &
collector_pid=$!
for _ in $(seq 50); do [ -s "$out/collector/port" ] && break; sleep 0.1; done
port=$(head -1 "$out/collector/port")
show "$tool" send --url "http://127.0.0.1:$port/reports" --timeout 10
echo "   the collector stored: $(cd "$out/collector" && ls -d 0*/doc-*.xml | tr '\n' ' ')"

step "6. The pending log is gone; today's record waits for tomorrow's roll-over"
ls -l "$out/data" | awk 'NR > 1 {print "   " $5 " bytes  " $9}'
[ ! -e "$out/data/error.bf" ] || { echo "error.bf is still there" >&2; exit 1; }
show "$tool" unregister >/dev/null
echo
echo "Everything is in demo-out/: data/ (the data folder), collector/ (what was uploaded)."
