#!/usr/bin/env bash
# yolcheck on simulated contests of growing size: the full check against a
# pass that only reads and parses every log (--parse-only), alternated in one
# run, each under /usr/bin/time -v. Prints per size the medians of elapsed and
# CPU time, the ratio full / parse-only (target <= 3), the full check's time at
# the largest size (target < 30 s), peak memory per contact (target <= 200
# bytes) and how the time grows with the number of logs.
#
#   bash bench/crosscheck-run.sh [BUILD_DIR] [--sizes "100 1000 8500"] [--runs N]
#                                [--dir DIR] [--contacts-per-log X] [--keep-out]
# BUILD_DIR is a tree holding tools/yolcheck/yolcheck and tools/loggen/yolloggen
# (default build/bench). The contests are written once into DIR (default
# $TMPDIR/yol-crosscheck) as DIR/c<N>-<X>/ and reused by later runs; the largest
# takes about 1 GB and a minute to write. --contacts-per-log 670 (the
# simulator's default is 650) gives 8,500 stations about 5.5 million contact
# lines in 8,086 submitted logs (the rest send none).
set -euo pipefail

build=build/bench sizes="100 1000 8500" runs=3 dir="" cpl=670 keep=0
while (($#)); do
    case "$1" in
        --sizes) sizes="$2"; shift 2 ;;
        --runs) runs="$2"; shift 2 ;;
        --dir) dir="$2"; shift 2 ;;
        --contacts-per-log) cpl="$2"; shift 2 ;;
        --keep-out) keep=1; shift ;;
        -*) echo "crosscheck-run.sh: unknown option $1" >&2; exit 2 ;;
        *) build="$1"; shift ;;
    esac
done
check="$build/tools/yolcheck/yolcheck" gen="$build/tools/loggen/yolloggen"
for p in "$check" "$gen"; do
    [[ -x "$p" ]] || { echo "crosscheck-run.sh: $p missing (build yolcheck and yolloggen in $build)" >&2; exit 2; }
done
[[ -x /usr/bin/time ]] || { echo "crosscheck-run.sh: /usr/bin/time missing (apt-get install time)" >&2; exit 2; }

dir="${dir:-${TMPDIR:-/tmp}/yol-crosscheck}"
mkdir -p "$dir"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One run of yolcheck: elapsed seconds, CPU seconds (user + system), peak RSS
# in KiB, the contacts and the logs it read (from its one line on stdout).
measure() {
    local out="$work/time.txt"
    /usr/bin/time -v -o "$out" "$check" "$@" >"$work/stdout.txt" 2>"$work/stderr.txt" || {
        local rc=$?
        ((rc == 1)) || { echo "crosscheck-run.sh: yolcheck $* failed ($rc)" >&2; tail -5 "$work/stderr.txt" >&2; exit 1; }
    }
    local logs contacts
    read -r logs _ contacts _ <"$work/stdout.txt"
    awk -F': ' -v l="$logs" -v c="$contacts" '
        /Elapsed \(wall clock\)/ { n = split($2, t, ":"); e = 0; for (i = 1; i <= n; i++) e = e * 60 + t[i] }
        /User time/ { u = $2 } /System time/ { s = $2 } /Maximum resident/ { m = $2 }
        END { printf "%.3f %.3f %d %d %d\n", e, u + s, m, c, l }' "$out"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
col() { cut -d' ' -f"$2" "$1" | median; }

echo "crosscheck load average at start: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
: >"$work/table"
for n in $sizes; do
    contest="$dir/c$n-$cpl"
    if [[ ! -f "$contest/truth.csv" ]]; then
        rm -rf "$contest"
        "$gen" --out "$contest" --stations "$n" --seed 1 --contacts-per-log "$cpl"
    fi
    logs="$contest/logs" out="$work/out-$n"
    cat "$logs"/* >/dev/null  # page cache warm
    : >"$work/parse-$n"; : >"$work/full-$n"
    for ((i = 1; i <= runs; i++)); do
        measure --parse-only "$logs" >>"$work/parse-$n"
        rm -rf "$out"
        measure --out "$out" "$logs" >>"$work/full-$n"
    done
    ((keep)) && { rm -rf "$contest/out"; mv "$out" "$contest/out"; }
    rm -rf "$out"
    contacts=$(col "$work/full-$n" 4)
    echo "$n $(wc -l <"$work/full-$n") $contacts $(col "$work/full-$n" 5) $(col "$work/parse-$n" 1) $(col "$work/parse-$n" 2)" \
         "$(col "$work/full-$n" 1) $(col "$work/full-$n" 2) $(col "$work/parse-$n" 3) $(col "$work/full-$n" 3)" >>"$work/table"
    # Ratios within each pair of runs, for the spread.
    paste -d' ' "$work/parse-$n" "$work/full-$n" |
        awk -v n="$n" '{ printf "crosscheck %5d stations run %d: parse-only %.2f s (cpu %.2f), full %.2f s (cpu %.2f), ratio %.2f (cpu %.2f)\n",
                         n, NR, $1, $2, $6, $7, $6 / ($1 > 0 ? $1 : 0.01), $7 / ($2 > 0 ? $2 : 0.01) }'
done
echo "crosscheck load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"

awk -v runs="$runs" '
    function max(a, b) { return a > b ? a : b }
    { n[NR] = $1; c[NR] = $3; L[NR] = $4; pe[NR] = $5; pc[NR] = $6; fe[NR] = $7; fc[NR] = $8; pm[NR] = $9; fm[NR] = $10 }
    END {
        printf "\ncrosscheck medians of %d runs\n", runs
        printf "%9s %6s %9s %10s %10s %10s %10s %7s %7s %9s %9s\n", "stations", "logs", "contacts", "parse s", "parse cpu",
               "full s", "full cpu", "ratio", "cpu", "parse B/c", "full B/c"
        for (i = 1; i <= NR; i++)
            printf "%9d %6d %9d %10.2f %10.2f %10.2f %10.2f %7.2f %7.2f %9.0f %9.0f\n", n[i], L[i], c[i], pe[i], pc[i],
                   fe[i], fc[i], fe[i] / max(pe[i], 0.01), fc[i] / max(pc[i], 0.01), pm[i] * 1024 / c[i], fm[i] * 1024 / c[i]
        printf "targets: ratio <= 3, full check < 30 s at 8,500 stations, <= 200 bytes per contact (peak RSS / contacts)\n"
        for (i = 2; i <= NR; i++)
            printf "growth %d -> %d logs: contacts x%.1f, full check elapsed x%.1f, cpu x%.1f (cpu ~ contacts^%.2f), cpu per contact %.2f -> %.2f us\n",
                   L[i - 1], L[i], c[i] / c[i - 1], fe[i] / max(fe[i - 1], 0.01), fc[i] / max(fc[i - 1], 0.01), log(max(fc[i], 0.01) / max(fc[i - 1], 0.01)) / log(c[i] / c[i - 1]),
                   fc[i - 1] / c[i - 1] * 1e6, fc[i] / c[i] * 1e6
    }' "$work/table"
