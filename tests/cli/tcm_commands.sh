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

# What the model can do, its impact diagram and a scenario, on the iowa model.
"$q" tcm capabilities "$work/iowa.zip" >"$work/cap.txt" || fail "capabilities"
grep -q "Renewables" "$work/cap.txt" || fail "capabilities lists no series"
"$q" tcm capabilities "$work/iowa.zip" --json >"$work/cap.json" || fail "capabilities --json"
python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); assert len(d["graph"]["series"])==3' \
    "$work/cap.json" || fail "capabilities --json is not the model's graph"
"$q" tcm impact "$work/iowa.zip" --series 2-0 --level 2 --html "$work/impact.html" \
    >"$work/impact.txt" || fail "impact"
grep -q "Impact Diagram" "$work/impact.txt" || fail "impact prints no table"
grep -qi "<table" "$work/impact.html" || fail "impact --html wrote no table"
"$q" tcm impact "$work/iowa.zip" --series 2-0 --data "$data/iowa-electricity.csv" --json \
    >"$work/impact.json" || fail "impact with data"
grep -q "ImpactDiagramCauses" "$work/impact.json" || fail "impact --json lacks the causes"
"$q" tcm scenario "$work/iowa.zip" "$data/iowa-electricity.csv" --metric net_generation \
    --dims source=Renewables --from 1 --to 12 --json >"$work/scenario.json" || fail "scenario"
python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); assert len(d["predicted"])==12' \
    "$work/scenario.json" || fail "scenario did not give 12 predicted values"
"$q" tcm scenario "$work/iowa.zip" "$data/iowa-electricity.csv" --metric net_generation \
    --dims source=Renewables --from -1 --to 2 >"$work/scenario.txt" || fail "scenario text"
[ "$(grep -c observed "$work/scenario.txt")" -eq 2 ] || fail "scenario text: two observed years"
for sub in capabilities impact scenario; do
    "$q" tcm $sub --help >/dev/null || fail "tcm $sub --help"
done
rejects tcm capabilities "$data/iowa-electricity.csv"
rejects tcm capabilities "$work/absent.zip"
rejects tcm impact "$work/iowa.zip"
rejects tcm impact "$work/iowa.zip" --series no-such-series
rejects tcm impact "$work/iowa.zip" --series 2-0 --level zero
rejects tcm scenario "$work/iowa.zip" "$data/iowa-electricity.csv" --metric net_generation \
    --dims source=Wind --from 1 --to 12
rejects tcm scenario "$work/iowa.zip" "$data/iowa-electricity.csv" --metric net_generation \
    --dims source=Renewables --from 5 --to 2
rejects tcm scenario "$work/iowa.zip" "$data/iowa-electricity.csv" --metric net_generation \
    --from 1 --to 12
rejects tcm scenario "$work/iowa.zip" "$data/seattle-weather.csv" --metric net_generation \
    --dims source=Renewables --from 1 --to 12
rejects tcm scenario "$work/iowa.zip" "$data/iowa-electricity.csv" --metric absent \
    --dims source=Renewables --from 1 --to 12

[ $failures -eq 0 ] && echo "tcm_commands: all passed"
exit $failures
