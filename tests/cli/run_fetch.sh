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

# Bad input: one line on stderr and a non-zero exit, never a crash.
for args in "run" "run $work/missing.qel" "run $data/sales.qel" "run $data/sales.qel --input x" \
            "fetch" "fetch $work/missing.qebf" "fetch $work/out.csv" "fetch $work/out.csv --model $work/out.xml --limit -3" \
            "fetch $work/out.csv --model $work/out.xml --fields nope"; do
    # shellcheck disable=SC2086
    "$q" $args >"$work/bad.out" 2>"$work/bad.err"
    rc=$?
    [ $rc -ne 0 ] && [ $rc -lt 128 ] || fail "'$args' exited with $rc"
    [ "$(wc -l <"$work/bad.err")" -eq 1 ] || fail "'$args' wrote: $(cat "$work/bad.err")"
done
for sub in run fetch; do
    "$q" $sub --help >/dev/null || fail "$sub --help"
done
ls "$work"/hs_err* >/dev/null 2>&1 && fail "JVM crash log"
exit 0
