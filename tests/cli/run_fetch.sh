#!/bin/sh
# usage: run_fetch.sh QEINTEG DATA_DIR WORK_DIR
set -u
q=$1; data=$2; work=$3
rm -rf "$work"; mkdir -p "$work"
fail() { echo "FAILED: $*" >&2; exit 1; }

out='{"dataDestination":"file:///'$work'/out.csv","dataModelDestination":"file:///'$work'/out.xml","type":"text/csv"}'
"$q" run "$data/sales.qel" --input sales="$data/sales.csv" --input regions="$data/regions.csv" \
    --set "out=$out" >"$work/run.txt" 2>&1 || fail "run: $(cat "$work/run.txt")"
printf 'region,manager,region_sales,orders,units,revenue,meanRevenue\nNord,Åsa,Nord,2,8,14.5,7.25\nSüd,Björn,Süd,2,4,6,6\nWest,Chen,,,,,\n' >"$work/expected.csv"
cmp -s "$work/out.csv" "$work/expected.csv" || fail "run wrote $(cat "$work/out.csv")"

"$q" fetch "$work/out.csv" --model "$work/out.xml" --fields manager,revenue --limit 2 >"$work/fetch.txt" 2>&1 \
    || fail "fetch: $(cat "$work/fetch.txt")"
printf 'manager,revenue\nÅsa,14.5\nBjörn,6\n' | cmp -s - "$work/fetch.txt" || fail "fetch printed $(cat "$work/fetch.txt")"

# Bad input, never a crash: a usage error exits 2 with its message and the usage line, a failure
# exits 1 with one line naming the file.
check() {  # check STATUS ARGS...
    want=$1; shift
    "$q" "$@" >"$work/bad.out" 2>"$work/bad.err"
    rc=$?
    [ $rc -eq "$want" ] || fail "'$*' exited with $rc, not $want: $(cat "$work/bad.err")"
    lines=$(wc -l <"$work/bad.err")
    if [ "$want" -eq 2 ]; then
        [ "$lines" -eq 2 ] && tail -n 1 "$work/bad.err" | grep -q "^usage: qeinteg $1 " ||
            fail "'$*' wrote: $(cat "$work/bad.err")"
    else
        [ "$lines" -eq 1 ] || fail "'$*' wrote: $(cat "$work/bad.err")"
    fi
}
check 2 run
check 2 run "$data/sales.qel" --input x
check 2 run "$data/sales.qel" --set =1
check 1 run "$work/missing.qel"
grep -q "^qeinteg run: $work/missing.qel: " "$work/bad.err" || fail "run names no file: $(cat "$work/bad.err")"
check 1 run "$data/sales.qel"
check 1 run "$data/sales.qel" --input sales="$work/missing.csv"
check 2 fetch
check 2 fetch "$work/out.csv"
check 2 fetch "$work/out.csv" --model "$work/out.xml" --limit -3
check 1 fetch "$work/missing.qebf"
grep -q "^qeinteg fetch: $work/missing.qebf: " "$work/bad.err" || fail "fetch names no file: $(cat "$work/bad.err")"
check 1 fetch "$work/out.csv" --model "$work/out.xml" --fields nope
check 1 fetch "$work/out.csv" --model "$work/missing.xml"
for sub in run fetch; do
    "$q" $sub --help >/dev/null || fail "$sub --help"
done
ls "$work"/hs_err* >/dev/null 2>&1 && fail "JVM crash log"
exit 0
