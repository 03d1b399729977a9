#!/bin/sh
# The geo subcommands of qeinteg: answers on stdout with status 0; a usage error exits 2 with its
# message and the usage line; a failure exits 1 with one line naming what failed (never a crash);
# --json prints one JSON document with the documented keys.
# usage: geo_commands.sh QEINTEG PYTHON FIXTURE_SCRIPT FIXTURE_DATA
q="$1" python="$2" fixture="$3" fixture_data="$4"
failures=0
work=$(mktemp -d)
out="$work/out" err="$work/err"
trap 'exec 3>&-; rm -rf "$work"' EXIT

expect_ok() {  # expect_ok PATTERN ARGS...
    pattern="$1"; shift
    if ! "$q" "$@" >"$out" 2>"$err"; then
        echo "FAIL (status) qeinteg $*"; cat "$err"; failures=$((failures + 1)); return
    fi
    if ! grep -q -- "$pattern" "$out"; then
        echo "FAIL (no '$pattern') qeinteg $*"; cat "$out"; failures=$((failures + 1))
    fi
}

# expect_exit STATUS LINES ARGS...: the exit status and the number of lines on stderr.
expect_exit() {
    want="$1" want_lines="$2"; shift 2
    "$q" "$@" >"$out" 2>"$err"
    status=$?
    lines=$(wc -l <"$err")
    if [ "$status" -ne "$want" ] || [ "$lines" -ne "$want_lines" ]; then
        echo "FAIL (status $status, $lines stderr lines; expected $want, $want_lines) qeinteg $*"
        cat "$err"; failures=$((failures + 1))
    fi
}
expect_usage() {  # a usage error: exit 2, the message, then the usage line
    expect_exit 2 2 "$@"
    tail -n 1 "$err" | grep -q "^usage: qeinteg $1 " || {
        echo "FAIL (no usage line) qeinteg $*"; cat "$err"; failures=$((failures + 1)); }
}
expect_failure() {  # a failure: exit 1, one line "qeinteg CMD: WHAT: cause"
    expect_exit 1 1 "$@"
}

# expect_json KEYS ARGS...: exit 0 and a JSON document whose value at each dotted path exists.
expect_json() {
    keys="$1"; shift
    if ! "$q" "$@" >"$out" 2>"$err"; then
        echo "FAIL (status) qeinteg $*"; cat "$err"; failures=$((failures + 1)); return
    fi
    if ! "$python" -c '
import json, sys
doc = json.load(open(sys.argv[1]))
for path in sys.argv[2].split():
    node = doc
    for part in path.split("."):
        node = node[int(part)] if isinstance(node, list) else node[part]
' "$out" "$keys"; then
        echo "FAIL (JSON lacks one of: $keys) qeinteg $*"; cat "$out"; failures=$((failures + 1))
    fi
}

expect_ok "kind  geographic" crs 4326
expect_ok "name  WGS 84 / UTM zone 10N" crs "wgs 84 / utm zone 10n"
expect_ok "kind  projected" crs EPSG:3857
expect_ok "Washington North" crs --recommend -122.5,47.4,-122.2,47.8 --count 3
expect_ok "usage: qeinteg crs" crs --help
expect_ok "usage: qeinteg layers" layers --help
expect_json "wkid name kind wkt" crs 4326 --json
expect_ok '"kind": "projected"' crs EPSG:3857 --json
expect_json "extent.minLon extent.minLat extent.maxLon extent.maxLat systems.0.wkid systems.0.name
             systems.0.transformations.0.method systems.0.transformations.0.forward" \
            crs --recommend -122.5,47.4,-122.2,47.8 --count 3 --json
expect_usage crs
expect_usage crs -1
expect_usage crs --recommend
expect_usage crs --recommend 1,2,3
expect_usage crs --recommend a,b,c,d
expect_usage crs --count 0 4326
expect_usage crs 4326 3857
expect_usage crs 4326 --recommend 1,2,3,4
expect_usage crs 4326 --bogus
expect_failure crs 0
expect_failure crs "no such system"
expect_failure crs --recommend -122.2,47.4,-122.5,47.8
expect_failure crs --recommend -190,0,10,10
expect_usage layers
expect_usage layers http://a http://b
expect_failure layers ftp://127.0.0.1/x
expect_failure layers http://127.0.0.1:1/closed
grep -q "^qeinteg layers: http://127.0.0.1:1/closed: " "$err" ||
    { echo "FAIL (the failure does not name the URL)"; cat "$err"; failures=$((failures + 1)); }

# The fixture map service serves until its standard input (held open here on fd 3) closes.
mkfifo "$work/hold"
"$python" "$fixture" "$fixture_data" <"$work/hold" >"$work/port" &
exec 3>"$work/hold"
tries=0
while [ ! -s "$work/port" ] && [ $tries -lt 100 ]; do sleep 0.1; tries=$((tries + 1)); done
port=$(head -n 1 "$work/port")
service="http://127.0.0.1:$port/arcgis/rest/services/Fixture/FeatureServer"
expect_json "url layers.0.id layers.0.name layers.0.features layers.0.keys layers.0.description
             layers.0.subLayers" layers "$service" --json
expect_ok "^id " layers "$service"

[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "all geo command checks passed"
