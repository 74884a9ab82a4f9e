#!/usr/bin/env bash
# Manual check that the release packages are reproducible: two copies of the
# working tree (without build/ and dist/) in differently named folders build
# their dist from scratch; the zips and debug files must be byte-identical.
# Takes two full release builds (a few minutes on two cores).
#
#   repro.sh [WORK_DIR]      (default: a new folder under ${TMPDIR:-/tmp})
#
# The copies are kept in WORK_DIR for inspection when they differ.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=${1:-$(mktemp -d "${TMPDIR:-/tmp}/yol-repro.XXXXXX")}
mkdir -p "$work"
work=$(cd "$work" && pwd)
first="$work/a"
second="$work/second-copy-of-the-tree"
rm -rf "$first" "$second"

# Both copies from one snapshot, so that edits made meanwhile cannot differ.
mkdir "$first"
tar -C "$ROOT" --exclude=./build --exclude=./dist -cf - . | tar -C "$first" -xf -
cp -a "$first" "$second"

for tree in "$first" "$second"; do
    echo "==> building the release packages in $tree"
    (cd "$tree" && bash tools/yol.sh dist >"$tree.log" 2>&1) || {
        tail -n 30 "$tree.log"
        echo "the build in $tree failed (log: $tree.log)" >&2
        exit 1
    }
done

echo
(cd "$first/dist" && sha256sum -- * | tee "$work/first.sums")
(cd "$second/dist" && sha256sum -- * >"$work/second.sums")
if diff "$work/first.sums" "$work/second.sums"; then
    echo "reproducible: both copies gave byte-identical packages and debug files"
else
    echo "NOT reproducible: the packages differ (copies kept in $work)" >&2
    exit 1
fi
