#!/usr/bin/env bash
# The road of an error, end to end, in a folder of its own (demo-out/): two
# programs of the suite log (one from two modules), the next day's first load rolls
# the log over, the pending log is dumped, the report comes back through COM,
# is uploaded to report-intake on the loopback interface, which the read API
# then shows, and is gone from the client; a second data folder sends too,
# and the dashboard's page of the product version ends in demo-out/dashboard.png.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/prepare.sh
echo "== The demo runs as $(describe_wine_arches "$arch"): $arch_reason"

echo "== Building the $arch tree and report-intake (quiet: a few minutes from a fresh clone on 2 cores, seconds once built)"
build_windows "$arch" >/dev/null
if [ ! -f build/intake/build.ninja ]; then
  cmake -S intake -B build/intake -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang >/dev/null
fi
cmake --build build/intake -j2 --target report-intake >/dev/null
out=$PWD/demo-out
rm -rf "$out"
mkdir -p "$out/data" "$out/suite" "$out/intake"
prefix=$PWD/build/$arch/wineprefix
run=build/$arch/wine-run.sh
intake_pid=
finish() {
  [ -z "$intake_pid" ] || { kill -TERM "$intake_pid" 2>/dev/null; wait "$intake_pid" 2>/dev/null; }
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

step "1. Two programs log: player.exe from two modules (its own code and crt.dll), library.exe from one (LogError.dll)"
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
merged=$("$run" "$tool" dump --json "$CRT_DATA_DIR\\error.bf" | grep -c '"type":"record"' || true)
echo "   merged $merged records into error.bf; error.Profile holds the new day's first record"

step "3. What a support engineer sees in the pending log"
show "$tool" dump "$CRT_DATA_DIR\\error.bf"

step "4. The report, through the sender object (COM)"
show "$tool" register
show "$tool" report

step "5. The sending client uploads it to report-intake on the loopback interface"
echo "demo-token" >"$out/intake/tokens"
build/intake/app/report-intake serve --listen 127.0.0.1:0 --store "sqlite:$out/intake/intake.db" \
  --token-file "$out/intake/tokens" >"$out/intake/stdout" 2>"$out/intake/log" &
intake_pid=$!
for _ in $(seq 50); do [ -s "$out/intake/stdout" ] && break; sleep 0.1; done
url=$(sed -n 's/^listening on //p' "$out/intake/stdout")
[ -n "$url" ] || { echo "report-intake did not start: $(cat "$out/intake/log")" >&2; exit 1; }
show "$tool" send --url "$url/reports" --timeout 10
echo "   what the read API holds now (GET $url/api/items, with the token):"
python3 - "$url" <<'PY'
import json, sys, urllib.request
url = sys.argv[1]
def get(path):
    request = urllib.request.Request(url + path, headers={"Authorization": "Bearer demo-token"})
    with urllib.request.urlopen(request, timeout=10) as answer:
        return json.load(answer)
for item in get("/api/items")["items"]:
    value = "none" if item["value"] is None else f'"{item["value"]}"'
    print(f"   {item['count']:>3} x {item['kind']:<9} {item['errorCode']:>6}  \"{item['message']}\""
          f"  value {value}  product {item['product']}  on {item['clients']} client(s)")
losses = get("/api/losses")
print(f"   records lost on clients: {losses['total']}")
PY

step "6. The pending log is gone; today's record waits for tomorrow's roll-over"
ls -l "$out/data" | awk 'NR > 1 {print "   " $5 " bytes  " $9}'
[ ! -e "$out/data/error.bf" ] || { echo "error.bf is still there" >&2; exit 1; }

step "7. A second machine: another data folder logs the same error, rolls over and sends through logtool send"
export CRT_DATA_DIR="Z:${out//\//\\}\\data2"
show "$out/suite/player.exe" log --kind error --module "$(winpath "$out/suite/crt.dll")" \
  --value 'D:\media\a.avi' "Cannot open file"
show "$tool" config set General LogErrorDate 2000.01.01
show "$out/suite/player.exe" log --kind warning "First record of the new day"
show "$tool" send --url "$url/reports" --timeout 10
show "$tool" unregister >/dev/null

step "8. The dashboard: the product version's page, as a browser shows it"
version=$(python3 - "$url" <<'PY'
import json, sys, urllib.request
request = urllib.request.Request(sys.argv[1] + "/api/items",
                                 headers={"Authorization": "Bearer demo-token"})
with urllib.request.urlopen(request, timeout=10) as answer:
    print(json.load(answer)["items"][0]["product"])
PY
)
page="/products/$(python3 -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.argv[1], safe=""))' "$version")"
if command -v chromium >/dev/null; then
  profile=$(mktemp -d)
  chromium --headless=new --no-sandbox --disable-gpu --no-first-run --user-data-dir="$profile" \
    --hide-scrollbars --window-size=1280,900 --screenshot="$out/dashboard.png" \
    "$url$page?token=demo-token" >/dev/null 2>&1 || true
  rm -rf "$profile"
  [ -s "$out/dashboard.png" ] && echo "   demo-out/dashboard.png: $page" ||
    echo "   chromium could not take the screenshot here"
else
  echo "   no chromium here: no screenshot (scripts/bootstrap.sh installs it)"
fi
echo "   clients of $version: $(python3 - "$url" "$version" <<'PY'
import json, sys, urllib.request
request = urllib.request.Request(sys.argv[1] + "/api/items?product=" + sys.argv[2],
                                 headers={"Authorization": "Bearer demo-token"})
with urllib.request.urlopen(request, timeout=10) as answer:
    print(max(item["clients"] for item in json.load(answer)["items"]))
PY
)"
echo
echo "Everything is in demo-out/: data/ and data2/ (two clients' data folders), intake/ (report-intake's"
echo "store and log), dashboard.png. To look at the dashboard again:"
echo "  build/intake/app/report-intake serve --store sqlite:demo-out/intake/intake.db --token-file demo-out/intake/tokens"
echo "  then open http://127.0.0.1:8080/?token=demo-token$([ -n "$page" ] && printf ' (the version: http://127.0.0.1:8080%s)' "$page")"
