#!/usr/bin/env bash
# The offline scorer on a generated 1,000,000-contact ADIF file, one scoring
# path (the contacts stored, sorted by call sign, scored on one thread).
# Alternated in one run, each under /usr/bin/time -v, and compared by their
# medians:
#   cat FILE > /dev/null                 reading the bytes and nothing else
#   python3 line splitter                a loop that only splits the file's lines
#   yolscore --parse-only FILE           read and map every record, no scoring
#   OLD --parse-only FILE                the same pass of an older yolscore (--old)
#   yolscore FILE                        the whole run: read, store, sort, score, report
# Prints parse-only against each of the others, the scoring run against
# parse-only (the figure to hold: about 1.6) and the scoring run's memory per
# contact (peak RSS beyond the file's size, and beyond the parse-only pass's
# peak).
#
#   bash bench/scorer-run.sh [BUILD_DIR] [--rows N] [--runs N] [--file PATH] [--old YOLSCORE]
# BUILD_DIR is a Release tree holding tools/yolscore/yolscore and
# tools/loggen/yolloggen (default build/bench).
set -euo pipefail

build=build/bench rows=1000000 runs=5 file="" old=""
while (($#)); do
    case "$1" in
        --rows) rows="$2"; shift 2 ;;
        --runs) runs="$2"; shift 2 ;;
        --file) file="$2"; shift 2 ;;
        --old) old="$2"; shift 2 ;;
        -*) echo "scorer-run.sh: unknown option $1" >&2; exit 2 ;;
        *) build="$1"; shift ;;
    esac
done
score="$build/tools/yolscore/yolscore" gen="$build/tools/loggen/yolloggen"
for p in "$score" "$gen" ${old:+"$old"}; do
    [[ -x "$p" ]] || { echo "scorer-run.sh: $p missing (build yolscore and yolloggen in $build)" >&2; exit 2; }
done
[[ -x /usr/bin/time ]] || { echo "scorer-run.sh: /usr/bin/time missing (apt-get install time)" >&2; exit 2; }
command -v python3 >/dev/null || { echo "scorer-run.sh: python3 missing" >&2; exit 2; }

file="${file:-${TMPDIR:-/tmp}/yol-scorer-$rows.adi}"
if [[ ! -s "$file" ]]; then
    "$gen" --format adi --out "$file" --rows "$rows" --seed 1 >/dev/null
fi
bytes=$(stat -c %s "$file")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/split.py" <<'PY'
import sys
n = 0
with open(sys.argv[1], "rb") as f:
    for line in f:
        n += 1
print(n)
PY

# One pass of a command: elapsed seconds, CPU seconds (user + system), peak
# RSS in KiB, appended to $work/NAME. Exit 1 (some records rejected) is fine.
measure() {
    local name="$1"; shift
    local out="$work/time.txt"
    /usr/bin/time -v -o "$out" "$@" >/dev/null 2>>"$work/stderr.txt" || {
        local rc=$?
        ((rc == 1)) || { echo "scorer-run.sh: $* failed ($rc)" >&2; cat "$work/stderr.txt" >&2; exit 1; }
    }
    awk -F': ' '
        /Elapsed \(wall clock\)/ { n = split($2, t, ":"); e = 0; for (i = 1; i <= n; i++) e = e * 60 + t[i] }
        /User time/ { u = $2 } /System time/ { s = $2 } /Maximum resident/ { m = $2 }
        END { printf "%.3f %.3f %d\n", e, u + s, m }' "$out" >>"$work/$name"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
col() { cut -d' ' -f"$2" "$work/$1" | median; }

cat "$file" >/dev/null  # page cache warm
for ((i = 1; i <= runs; i++)); do
    measure cat cat "$file"
    measure python python3 "$work/split.py" "$file"
    measure parse "$score" --parse-only "$file"
    [[ -z "$old" ]] || measure old "$old" --parse-only "$file"
    measure score "$score" "$file"
done

echo "scorer file $bytes bytes, $rows contacts, median of $runs alternated runs"
for name in cat python parse old score; do
    [[ -s "$work/$name" ]] || continue
    e=$(col "$name" 1) c=$(col "$name" 2) m=$(col "$name" 3)
    awk -v n="$name" -v e="$e" -v c="$c" -v m="$m" -v b="$bytes" 'BEGIN {
        label["cat"] = "cat"; label["python"] = "python line splitter"; label["parse"] = "parse-only"
        label["old"] = "old parse-only"; label["score"] = "scoring run"
        printf "scorer %-21s elapsed %.3f s  cpu %.3f s  %6.0f MB/s  peak RSS %d KiB\n", label[n], e, c, b / 1e6 / e, m
    }'
done
pe=$(col parse 1) pc=$(col parse 2) prss=$(col parse 3)
se=$(col score 1) sc=$(col score 2) srss=$(col score 3)
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "scorer parse-only / cat elapsed $(ratio "$pe" "$(col cat 1)")"
echo "scorer parse-only / python line splitter elapsed $(ratio "$pe" "$(col python 1)") cpu $(ratio "$pc" "$(col python 2)")"
[[ -z "$old" ]] || echo "scorer parse-only / old parse-only elapsed $(ratio "$pe" "$(col old 1)") cpu $(ratio "$pc" "$(col old 2)")"
echo "scorer scoring / parse-only elapsed $(ratio "$se" "$pe") cpu $(ratio "$sc" "$pc") (to hold: about 1.6)"
awk -v rows="$rows" -v bytes="$bytes" -v s="$srss" -v p="$prss" 'BEGIN {
    printf "scorer memory %.1f bytes per contact beyond the file, %.1f beyond the parse-only pass (peak RSS %d KiB)\n",
           (s * 1024 - bytes) / rows, (s - p) * 1024 / rows, s
}'
