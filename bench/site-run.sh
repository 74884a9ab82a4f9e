#!/bin/sh
# The results site at contest size: 8,500 synthetic logs of ~650 contacts each
# (5.2 million contacts) written by yolsitedemo, then the index loaded and
# sorted in headless chromium. Usage: bench/site-run.sh [BUILD_DIR] [OUT_DIR]
set -eu
build=${1:-build/native}
out=${2:-$build/bench-site}
cmake --build "$build" -j2 --target yolsitedemo
demo=$build/tools/webreport/yolsitedemo
for run in 1 2 3; do
    rm -rf "$out"
    sync
    "$demo" --out "$out" --logs 8500 --contacts 650 --no-csv
done
# The pages made but not stored: the writer's own share of the time.
"$demo" --out "$out" --logs 8500 --contacts 650 --no-csv --no-write
ls -l "$out/index.html"
/usr/bin/python3 "$(dirname "$0")/site_index_load.py" "$out/index.html" --runs 3
