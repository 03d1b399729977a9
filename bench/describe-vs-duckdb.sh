#!/usr/bin/env bash
# `qeinteg describe` against DuckDB's SUMMARIZE on the same generated CSV file, in the same run.
#
#   bench/describe-vs-duckdb.sh [QEINTEG] [ROWS]
#
# QEINTEG defaults to build/release/tools/qeinteg/qeinteg, ROWS to 1000000 (10 columns: an id, six
# reals, a count, a category and a sorted timestamp; about 90 MB). Each command runs three times,
# alternating, and the fastest wall time counts; peak memory (maximum resident set) is reported too.
# `describe --datetime` runs at ROWS and at 4 x ROWS to show that its memory does not grow with the
# rows for sorted input. Two more lines split describe's time: the program's start alone
# (`qeinteg --version`: loading its shared libraries) and describe of the same file cut to its
# first record (start, Java VM, job round trip and output, without the reading); the rest is the
# reading and the statistics.
#
# DuckDB is taken from a `duckdb` program on PATH, else from the Node package @duckdb/node-api
# installed under $DUCKDB_NODE_DIR (`npm install @duckdb/node-api` in any scratch directory). Without
# either the comparison is skipped (exit 0). Set QEINTEG_BENCH_THREADS=1 to hold DuckDB to one
# thread as well; describe always uses one core.
set -euo pipefail

qeinteg=${1:-build/release/tools/qeinteg/qeinteg}
rows=${2:-1000000}
if [[ ! -x "$qeinteg" ]]; then
    echo "describe-vs-duckdb: no qeinteg program at $qeinteg (build the release preset)" >&2
    exit 1
fi

duckdb_kind=""
if command -v duckdb >/dev/null 2>&1; then
    duckdb_kind=cli
elif [[ -n "${DUCKDB_NODE_DIR:-}" && -d "$DUCKDB_NODE_DIR/node_modules/@duckdb/node-api" ]] &&
    command -v node >/dev/null 2>&1; then
    duckdb_kind=node
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

generate() {  # generate FILE ROWS
    python3 - "$1" "$2" <<'PY'
import random, sys, datetime
path, rows = sys.argv[1], int(sys.argv[2])
rng = random.Random(42)
start = datetime.datetime(2000, 1, 1)
cats = ["alpha", "beta", "gamma", "delta", "epsilon", "zeta", "eta", "theta"]
with open(path, "w") as out:
    out.write("id,a,b,c,d,e,f,n,category,time\n")
    lines = []
    for i in range(rows):
        t = start + datetime.timedelta(minutes=i)
        lines.append("%d,%.4f,%.3f,%.5f,%.2f,%.4f,%.3f,%d,%s,%s\n" % (
            i, rng.gauss(100, 15), rng.uniform(-1e3, 1e3), rng.random(), rng.gauss(0, 1e4),
            rng.expovariate(0.1), rng.uniform(0, 1), rng.randrange(1000), rng.choice(cats),
            t.strftime("%Y-%m-%d %H:%M:%S")))
        if len(lines) == 10000:
            out.writelines(lines)
            lines = []
    out.writelines(lines)
PY
}

csv="$work/bench.csv"
generate "$csv" "$rows"
bytes=$(stat -c %s "$csv")
head -n 2 "$csv" >"$work/one.csv"

# run NAME COMMAND...: the fastest of three runs, in seconds, and the peak resident set in MiB.
declare -A best mem
run() {
    local name=$1
    shift
    local t
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" >"$work/out" 2>"$work/err" || {
        echo "describe-vs-duckdb: $name failed:" >&2
        cat "$work/err" >&2
        exit 1
    }
    read -r t m <"$work/time"
    if [[ -z "${best[$name]:-}" ]] || awk "BEGIN{exit !($t < ${best[$name]})}"; then
        best[$name]=$t
    fi
    mem[$name]=$((m / 1024))
}

# The DuckDB side as a program of its own, so that /usr/bin/time measures it like describe.
threads=${QEINTEG_BENCH_THREADS:-0}
set_threads=""
[[ "$threads" != 0 ]] && set_threads="SET threads=$threads; "
if [[ $duckdb_kind == node ]]; then
    cat >"$work/duck.js" <<'JS'
const { DuckDBInstance } = require("@duckdb/node-api");
(async () => {
  const db = await DuckDBInstance.create(":memory:");
  const con = await db.connect();
  if (process.argv[3]) await con.run(process.argv[3]);
  const r = await con.runAndReadAll(
      `SUMMARIZE SELECT * FROM read_csv(${JSON.stringify(process.argv[2])})`);
  console.log(r.getRows().length + " columns summarised");
})().catch(e => { console.error(e.message); process.exit(1); });
JS
fi
duck=()
if [[ $duckdb_kind == cli ]]; then
    duck=(duckdb -c "${set_threads}SUMMARIZE SELECT * FROM read_csv('$csv');")
elif [[ $duckdb_kind == node ]]; then
    duck=(env NODE_PATH="$DUCKDB_NODE_DIR/node_modules" node "$work/duck.js" "$csv" "$set_threads")
fi

for _ in 1 2 3; do
    run start "$qeinteg" --version
    run describe_one "$qeinteg" describe "$work/one.csv"
    run describe "$qeinteg" describe "$csv"
    run describe_datetime "$qeinteg" describe "$csv" --datetime time
    if [[ -n $duckdb_kind ]]; then
        run duckdb "${duck[@]}"
    fi
done

big="$work/big.csv"
generate "$big" $((rows * 4))
run describe_datetime_4x "$qeinteg" describe "$big" --datetime time

mbs() { awk "BEGIN{printf \"%.0f\", $bytes / 1048576 / $1}"; }
echo "file: $rows rows x 10 columns, $((bytes / 1048576)) MiB"
printf '%-28s %8s s %6s       %6s MiB peak\n' "start (qeinteg --version)" "${best[start]}" "" \
    "${mem[start]}"
printf '%-28s %8s s %6s       %6s MiB peak\n' "describe of one record" "${best[describe_one]}" "" \
    "${mem[describe_one]}"
printf '%-28s %8s s %6s MiB/s %6s MiB peak\n' "describe" "${best[describe]}" \
    "$(mbs "${best[describe]}")" "${mem[describe]}"
printf '%-28s %8s s %6s MiB/s %6s MiB peak\n' "describe --datetime" \
    "${best[describe_datetime]}" "$(mbs "${best[describe_datetime]}")" "${mem[describe_datetime]}"
printf '%-28s %8s s %6s       %6s MiB peak\n' "describe --datetime, 4x rows" \
    "${best[describe_datetime_4x]}" "" "${mem[describe_datetime_4x]}"
if [[ -z $duckdb_kind ]]; then
    echo "DuckDB not found (no duckdb program, DUCKDB_NODE_DIR not set): comparison skipped"
    exit 0
fi
printf '%-28s %8s s %6s MiB/s %6s MiB peak\n' "duckdb SUMMARIZE ($duckdb_kind)" "${best[duckdb]}" \
    "$(mbs "${best[duckdb]}")" "${mem[duckdb]}"
awk "BEGIN{printf \"describe is %.2fx faster than DuckDB SUMMARIZE\n\", ${best[duckdb]} / ${best[describe]}}"
