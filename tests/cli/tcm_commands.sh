#!/usr/bin/env bash
# usage: tcm_commands.sh QEINTEG DATA_DIR
set -u
q=$1
data=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Expects a failure (exit 1, exactly one line on stderr) or a usage error (exit 2, the message and
# the usage line).
rejects() {
    "$q" "$@" >"$work/out" 2>"$work/err"
    local rc=$?
    local lines
    lines=$(wc -l <"$work/err")
    case $rc in
    1) [ "$lines" -eq 1 ] || fail "$lines stderr lines for: $* ($(cat "$work/err"))" ;;
    2) [ "$lines" -le 2 ] || fail "$lines stderr lines for: $* ($(cat "$work/err"))" ;;
    *) fail "exit $rc for: $*" ;;
    esac
}

"$q" tcm build "$data/iowa-electricity.csv" --time year --dims source --metrics net_generation \
    --lags 2 -o "$work/iowa.zip" >/dev/null || fail "build on iowa-electricity.csv"
for entry in TSDPOutput.json StatXML.xml TCMGraph.json TCMModel.json; do
    unzip -l "$work/iowa.zip" "$entry" >/dev/null 2>&1 || fail "archive lacks $entry"
done
"$q" tcm prepare "$work/iowa.zip" "$data/iowa-electricity.csv" -o "$work/prepared.csv" \
    >/dev/null || fail "prepare with the iowa model"
[ "$(wc -l <"$work/prepared.csv")" -eq 52 ] || fail "prepared iowa file is not 51 records"
[ "$(head -1 "$work/prepared.csv")" = "source,year,net_generation" ] || fail "prepared header"

# The interval is detected when not given: daily weather gives 1461 daily points.
"$q" tcm build "$data/seattle-weather.csv" --time date --metrics temp_max,temp_min \
    -o "$work/daily.zip" >/dev/null || fail "build on seattle-weather.csv"
unzip -p "$work/daily.zip" TSDPOutput.json | grep -q '"timePoints":1461' || fail "daily points"

"$q" tcm --help >/dev/null || fail "tcm --help"
"$q" tcm build --help >/dev/null || fail "tcm build --help"
"$q" tcm prepare --help >/dev/null || fail "tcm prepare --help"
rejects tcm
rejects tcm frobnicate
rejects tcm build "$data/iowa-electricity.csv" --time year --metrics net_generation
rejects tcm build "$work/absent.csv" --time year --metrics net_generation -o "$work/x.zip"
rejects tcm build "$data/iowa-electricity.csv" --time year --dims absent --metrics net_generation \
    -o "$work/x.zip"
rejects tcm build "$data/iowa-electricity.csv" --time year --metrics net_generation --lags two \
    -o "$work/x.zip"
rejects tcm build "$data/iowa-electricity.csv" --time source --metrics net_generation \
    -o "$work/x.zip"
[ -e "$work/x.zip" ] && fail "a failed build left an archive"
rejects tcm prepare "$work/absent.zip" "$data/iowa-electricity.csv" -o "$work/y.csv"
rejects tcm prepare "$data/iowa-electricity.csv" "$data/iowa-electricity.csv" -o "$work/y.csv"
rejects tcm prepare "$work/iowa.zip" "$data/seattle-weather.csv" -o "$work/y.csv"
[ -e "$work/y.csv" ] && fail "a failed preparation left a file"

[ $failures -eq 0 ] && echo "tcm_commands: all passed"
exit $failures
