#!/bin/sh
# The geo subcommands of qeinteg: answers on stdout with status 0; bad input gives exactly one
# line on stderr and a non-zero status (never a crash).
# usage: geo_commands.sh QEINTEG
q="$1"
failures=0
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

expect_ok() {  # expect_ok PATTERN ARGS...
    pattern="$1"; shift
    if ! "$q" "$@" >"$out" 2>"$err"; then
        echo "FAIL (status) qeinteg $*"; cat "$err"; failures=$((failures + 1)); return
    fi
    if ! grep -q -- "$pattern" "$out"; then
        echo "FAIL (no '$pattern') qeinteg $*"; cat "$out"; failures=$((failures + 1))
    fi
}

expect_bad() {  # expect_bad ARGS...
    "$q" "$@" >"$out" 2>"$err"
    status=$?
    lines=$(wc -l <"$err")
    if [ "$status" -eq 0 ] || [ "$status" -ge 128 ] || [ "$lines" -ne 1 ]; then
        echo "FAIL (status $status, $lines stderr lines) qeinteg $*"; cat "$err"
        failures=$((failures + 1))
    fi
}

expect_ok "kind  geographic" crs 4326
expect_ok "name  WGS 84 / UTM zone 10N" crs "wgs 84 / utm zone 10n"
expect_ok "kind  projected" crs EPSG:3857
expect_ok "Washington North" crs --recommend -122.5,47.4,-122.2,47.8 --count 3
expect_ok "usage: qeinteg crs" crs --help
expect_ok "usage: qeinteg layers" layers --help
expect_bad crs
expect_bad crs 0
expect_bad crs -1
expect_bad crs "no such system"
expect_bad crs --recommend
expect_bad crs --recommend 1,2,3
expect_bad crs --recommend -122.2,47.4,-122.5,47.8
expect_bad crs --recommend -190,0,10,10
expect_bad crs --recommend a,b,c,d
expect_bad crs --count 0 4326
expect_bad crs 4326 3857
expect_bad layers
expect_bad layers ftp://127.0.0.1/x
expect_bad layers http://127.0.0.1:1/closed

[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "all geo command checks passed"
