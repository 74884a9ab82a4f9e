#!/usr/bin/env bash
# The offline scorer on a generated 1,000,000-contact ADIF file: the whole
# scoring run against a parse-only pass of the same file, alternated in one
# run, each under /usr/bin/time -v. Prints the ratio of the medians (target
# <= 1.3), the parse-only pass's reading speed (target >= 200 MB/s) and the
# scoring run's memory per contact beyond the file (target <= 64 bytes).
#
#   bash bench/scorer-run.sh [BUILD_DIR] [--rows N] [--runs N] [--file PATH]
# BUILD_DIR is a Release tree holding tools/yolscore/yolscore and
# tools/loggen/yolloggen (default build/bench).
set -euo pipefail

build=build/bench rows=1000000 runs=3 file=""
while (($#)); do
    case "$1" in
        --rows) rows="$2"; shift 2 ;;
        --runs) runs="$2"; shift 2 ;;
        --file) file="$2"; shift 2 ;;
        -*) echo "scorer-run.sh: unknown option $1" >&2; exit 2 ;;
        *) build="$1"; shift ;;
    esac
done
score="$build/tools/yolscore/yolscore" gen="$build/tools/loggen/yolloggen"
for p in "$score" "$gen"; do
    [[ -x "$p" ]] || { echo "scorer-run.sh: $p missing (build yolscore and yolloggen in $build)" >&2; exit 2; }
done
[[ -x /usr/bin/time ]] || { echo "scorer-run.sh: /usr/bin/time missing (apt-get install time)" >&2; exit 2; }

file="${file:-${TMPDIR:-/tmp}/yol-scorer-$rows.adi}"
if [[ ! -s "$file" ]]; then
    "$gen" --format adi --out "$file" --rows "$rows" --seed 1 >/dev/null
fi
bytes=$(stat -c %s "$file")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One pass: elapsed seconds, CPU seconds (user + system), peak RSS in KiB.
measure() {
    local out="$work/time.txt"
    /usr/bin/time -v -o "$out" "$score" "$@" "$file" >/dev/null 2>>"$work/stderr.txt" || {
        local rc=$?
        ((rc == 1)) || { echo "scorer-run.sh: yolscore $* failed ($rc)" >&2; cat "$work/stderr.txt" >&2; exit 1; }
    }
    awk -F': ' '
        /Elapsed \(wall clock\)/ { n = split($2, t, ":"); e = 0; for (i = 1; i <= n; i++) e = e * 60 + t[i] }
        /User time/ { u = $2 } /System time/ { s = $2 } /Maximum resident/ { m = $2 }
        END { printf "%.3f %.3f %d\n", e, u + s, m }' "$out"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

: >"$work/parse" ; : >"$work/score"
"$score" --parse-only "$file" >/dev/null 2>&1 || true  # page cache warm
for ((i = 1; i <= runs; i++)); do
    measure --parse-only >>"$work/parse"
    measure >>"$work/score"
done

pe=$(cut -d' ' -f1 "$work/parse" | median) pc=$(cut -d' ' -f2 "$work/parse" | median)
se=$(cut -d' ' -f1 "$work/score" | median) sc=$(cut -d' ' -f2 "$work/score" | median)
rss=$(cut -d' ' -f3 "$work/score" | median)
awk -v rows="$rows" -v bytes="$bytes" -v pe="$pe" -v pc="$pc" -v se="$se" -v sc="$sc" -v rss="$rss" \
    -v runs="$runs" 'BEGIN {
    printf "scorer file %s bytes, %d contacts, median of %d runs\n", bytes, rows, runs
    printf "scorer parse-only elapsed %.3f s cpu %.3f s, %.0f MB/s (target >= 200)\n", pe, pc, bytes / 1e6 / pe
    printf "scorer scoring    elapsed %.3f s cpu %.3f s\n", se, sc
    printf "scorer ratio elapsed %.2f cpu %.2f (scoring / parse-only, target <= 1.3)\n", se / pe, sc / pc
    printf "scorer memory %.1f bytes per contact beyond the file (peak RSS %d KiB, target <= 64)\n",
           (rss * 1024 - bytes) / rows, rss
}'
