#!/usr/bin/env bash
# Checks the release packages as an operator gets them:
#
#   check.sh [DIST_DIR]      (default dist; run by tools/yol.sh test after dist)
#
# For each zip: its entries; the module's exports, ordinals and system-only
# imports (tests/win/check-exports.sh); its version resource against the
# version in the zip's name and the release tree's project version; its size
# (at most 2 MiB) and debug link to the .dll.debug beside the zip; the guide
# (version filled in, CRLF line ends); the country file (Debian's, as it is,
# its version named in the guide) and its copyright text; yolscore.exe's
# imports, and for win64 its reports of a generated SQLite log and of a
# generated Cabrillo log (scored with the cty.dat beside it) under wine64
# against the native yolscore's.
# Then SHA256SUMS, and that packing the same build again gives the same bytes.
# Wine needs a display: an Xvfb one is started when DISPLAY is unset.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$ROOT" || exit 1
dist=${1:-dist}
max_dll_bytes=$((2 * 1024 * 1024))
allowed='^(ADVAPI32|GDI32|KERNEL32|USER32|OLEAUT32|OLE32|SHELL32|msvcrt|COMCTL32|api-ms-win-[a-z0-9-]+)\.dll$'
export LC_ALL=C

failures=0
ok() { echo "ok: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
words() { tr '\n' ' ' | sed 's/ *$//'; }

[ -d "$dist" ] || { echo "no $dist: run 'bash tools/yol.sh dist' first" >&2; exit 1; }
dist=$(cd "$dist" && pwd)
tmp=$(mktemp -d "${TMPDIR:-/tmp}/yol-distcheck.XXXXXX")
# shellcheck source=tools/wine/env.sh
source tools/wine/env.sh
trap 'yol_xvfb_stop; rm -rf "$tmp"' EXIT

shopt -s nullglob
zips=("$dist"/YOLContest-*-win32.zip "$dist"/YOLContest-*-win64.zip)
[ ${#zips[@]} -eq 2 ] || fail "expected one win32 and one win64 zip in $dist, found ${#zips[@]}"

# The version of the configured release tree, as CMake has it.
project_version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' \
    build/mingw32-release/CMakeCache.txt 2>/dev/null)

# Whether the release tree of PRESET defines TARGET.
has_target() { ninja -C "build/$1" -t query "$2" >/dev/null 2>&1; }

# The country file and its copyright text as tools/dist/package.sh takes them.
cty_source=${YOL_CTY_DAT:-$(dpkg -L hamradio-files 2>/dev/null | grep '/cty\.dat$' | head -n 1)}
cty_copyright_source=${YOL_CTY_COPYRIGHT:-/usr/share/doc/hamradio-files/copyright}

# yolscore under wine64 needs the native tools for the log and the expected
# report, a display and a Wine prefix.
wine_ready=
prepare_wine() {
    [ -n "$wine_ready" ] && return "$((wine_ready - 1))"
    wine_ready=2
    if [ ! -f build/native/CMakeCache.txt ]; then
        cmake --preset native >/dev/null || return 1
    fi
    cmake --build build/native --target yolloggen yolscore >/dev/null || {
        echo "cannot build the native yolloggen and yolscore" >&2
        return 1
    }
    yol_xvfb_start || return 1
    YOL_WINE_BASE=$(yol_wine_base_prefix "$ROOT/build") || return 1
    export YOL_WINE_BASE YOL_WINE_BUILD_DIR="$tmp"
    build/native/tools/loggen/yolloggen --db "$tmp/log.sqlite" --rows 500 --seed 5 >/dev/null ||
        return 1
    build/native/tools/loggen/yolloggen --format cabrillo "$tmp/log.log" --rows 500 --seed 6 \
        >/dev/null || return 1
    wine_ready=1
}

check_zip() {  # zip
    local zip=$1 base version arch triplet preset dir entries expected
    base=$(basename "$zip" .zip)
    version=$(sed -n 's/^YOLContest-\(.*\)-win\(32\|64\)$/\1/p' <<<"$base")
    arch=${base##*-}
    case $arch in
        win32) triplet=i686-w64-mingw32 preset=mingw32-release ;;
        win64) triplet=x86_64-w64-mingw32 preset=mingw64-release ;;
    esac
    echo
    echo "== $base.zip ($arch, version $version)"
    if [ -n "$project_version" ] && [ "$version" != "$project_version" ]; then
        fail "$base: the project version is $project_version"
    fi

    dir="$tmp/$arch"
    mkdir -p "$dir"
    if ! unzip -q "$zip" -d "$dir"; then
        fail "$base: cannot unzip"
        return
    fi
    entries=$(cd "$dir" && find . -mindepth 1 -printf '%P\n' | sort)
    expected=$(printf '%s\n' YOLContest.dll cty-copyright.txt cty.dat operator-guide.txt)
    if [ -f "$dir/yolscore.exe" ] || has_target "$preset" yolscore; then
        expected=$(printf '%s\n' YOLContest.dll cty-copyright.txt cty.dat operator-guide.txt yolscore.exe)
    else
        echo "note: build/$preset builds no yolscore: the zip carries none"
    fi
    if [ "$entries" = "$expected" ]; then
        ok "entries: $(words <<<"$entries")"
    else
        fail "$base: entries differ:"$'\n'"$(diff <(echo "$expected") <(echo "$entries"))"
    fi

    local dll="$dir/YOLContest.dll"
    [ -f "$dll" ] || { fail "$base: no YOLContest.dll"; return; }
    if out=$(bash tests/win/check-exports.sh "$triplet-objdump" "$dll"); then
        ok "$out"
    else
        fail "$base: $out"
    fi

    local rc
    rc=$("$triplet-windres" -J coff -i "$dll" -O rc 2>&1)
    local numbers="${version//./, }, 0"
    if grep -q "^ FILEVERSION $numbers\$" <<<"$rc" &&
       grep -q "^ PRODUCTVERSION $numbers\$" <<<"$rc" &&
       grep -q "VALUE \"FileVersion\", \"$version\"\$" <<<"$rc" &&
       grep -q "VALUE \"ProductVersion\", \"$version\"\$" <<<"$rc"; then
        ok "version resource: $version"
    else
        fail "$base: version resource is not $version:"$'\n'"$(grep -i version <<<"$rc")"
    fi

    local size
    size=$(stat -c %s "$dll")
    if [ "$size" -le "$max_dll_bytes" ]; then
        ok "YOLContest.dll: $size bytes ($((size / 1024)) KiB)"
    else
        fail "$base: YOLContest.dll is $size bytes, more than $max_dll_bytes"
    fi
    if "$triplet-objdump" -h "$dll" | grep -q '\.debug_'; then
        fail "$base: YOLContest.dll still carries debug sections"
    fi

    # The .gnu_debuglink names the debug file beside the zip and holds its
    # CRC-32, the checksum gzip writes into its trailer.
    local debug="$dist/$base.dll.debug" link="$tmp/$arch.debuglink"
    if ! "$triplet-objcopy" --dump-section ".gnu_debuglink=$link" "$dll" "$tmp/$arch.junk" 2>/dev/null; then
        fail "$base: YOLContest.dll has no .gnu_debuglink"
    elif [ "$(head -c -4 "$link" | tr -d '\0')" != "$base.dll.debug" ]; then
        fail "$base: the debug link names $(head -c -4 "$link" | tr -d '\0'), not $base.dll.debug"
    elif [ ! -f "$debug" ]; then
        fail "$base: $debug is missing"
    elif [ "$(tail -c 4 "$link" | od -An -tx1)" != "$(gzip -c "$debug" | tail -c 8 | head -c 4 | od -An -tx1)" ]; then
        fail "$base: the debug link's checksum does not match $debug"
    else
        ok "debug link to $base.dll.debug ($(($(stat -c %s "$debug") / 1024)) KiB)"
    fi

    local guide="$dir/operator-guide.txt"
    if [ ! -f "$guide" ]; then
        fail "$base: no operator-guide.txt"
    elif grep -q '@VERSION@' "$guide" || ! grep -q "YOLContest-$version-win32.zip" "$guide"; then
        fail "$base: operator-guide.txt does not carry version $version"
    elif awk '!/\r$/ { bad = 1 } END { exit bad ? 0 : 1 }' "$guide"; then
        fail "$base: operator-guide.txt has lines without CRLF"
    else
        ok "operator-guide.txt: version $version, CRLF"
    fi

    # The country file as Debian ships it, its version (its VER entry, else
    # the package's) named in the guide, and its copyright text.
    local cty="$dir/cty.dat" cty_version
    cty_version=$(grep -o -m 1 '=VER[0-9]\{8\}\b' "$cty" 2>/dev/null | sed 's/^=VER//')
    if [ -z "$cty_version" ] && [ -z "${YOL_CTY_DAT:-}" ]; then
        cty_version=$(dpkg-query -W -f='${Version}' hamradio-files 2>/dev/null | sed 's/[^0-9].*//')
    fi
    if [ ! -f "$cty" ]; then
        fail "$base: no cty.dat"
    elif [ -z "$cty_source" ] || ! cmp -s "$cty" "$cty_source"; then
        fail "$base: cty.dat is not Debian's ${cty_source:-(hamradio-files is not installed)}"
    elif [ -z "$cty_version" ]; then
        fail "$base: cty.dat names no version (=VERyyyymmdd)"
    elif ! tr -d '\r' <"$guide" | grep -q "cty.dat version $cty_version (of [0-9]"; then
        fail "$base: operator-guide.txt does not name cty.dat's version $cty_version"
    else
        ok "cty.dat: Debian's, version $cty_version, named in the guide"
    fi
    local copyright="$dir/cty-copyright.txt"
    if [ ! -f "$copyright" ]; then
        fail "$base: no cty-copyright.txt"
    elif [ ! -f "$cty_copyright_source" ] ||
         [ "$(tr -d '\r' <"$copyright")" != "$(tr -d '\r' <"$cty_copyright_source")" ]; then
        fail "$base: cty-copyright.txt is not the text of $cty_copyright_source"
    elif awk '!/\r$/ { bad = 1 } END { exit bad ? 0 : 1 }' "$copyright"; then
        fail "$base: cty-copyright.txt has lines without CRLF"
    else
        ok "cty-copyright.txt: $cty_copyright_source, CRLF"
    fi

    local exe="$dir/yolscore.exe"
    [ -f "$exe" ] || return
    local dlls bad=
    dlls=$("$triplet-objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
    while read -r d; do
        grep -Eiq "$allowed" <<<"$d" || bad+=" $d"
    done <<<"$dlls"
    if [ -z "$dlls" ] || [ -n "$bad" ]; then
        fail "$base: yolscore.exe imports DLLs that are not part of Windows:${bad:- (none read)}"
    else
        ok "yolscore.exe imports only system DLLs: $(words <<<"$dlls")"
    fi
    [ "$arch" = win64 ] || return
    if ! prepare_wine; then
        fail "$base: cannot prepare the native tools, a display or Wine for yolscore.exe"
        return
    fi
    local want got
    # The reports (stdout) must match; the messages (stderr) are shown on failure.
    if ! want=$(build/native/tools/yolscore/yolscore --db "$tmp/log.sqlite" 2>"$tmp/native.err" |
                tr -d '\r') || [ -z "$want" ]; then
        fail "the native yolscore gives no report of the generated log: $(cat "$tmp/native.err")"
        return
    fi
    got=$(yol_wine_run win64 "$exe" --db "$tmp/log.sqlite" 2>"$tmp/wine.err" | tr -d '\r')
    if [ "$want" = "$got" ]; then
        ok "yolscore.exe under wine64 reports as the native yolscore ($(grep -m1 '^Total' <<<"$want" | tr -s '\t ' ' '))"
    else
        fail "$base: yolscore.exe under wine64 reports differently:"$'\n'"$(diff <(echo "$want") \
            <(echo "$got"))"$'\n'"its messages:"$'\n'"$(cat "$tmp/wine.err")"
    fi
    # A Cabrillo log carries no prefixes: out of the box, yolscore.exe scores
    # it with the cty.dat beside it, as the native one does with that file.
    local want_rc got_rc
    want=$(build/native/tools/yolscore/yolscore --cty "$cty" "$tmp/log.log" 2>"$tmp/native.err" |
           tr -d '\r'; exit "${PIPESTATUS[0]}")
    want_rc=$?
    got=$(yol_wine_run win64 "$exe" "$tmp/log.log" 2>"$tmp/wine.err" | tr -d '\r'; exit "${PIPESTATUS[0]}")
    got_rc=$?
    if [ -z "$want" ] || ! grep -q 'Score:' <<<"$want"; then
        fail "the native yolscore gives no report of the generated Cabrillo log: $(cat "$tmp/native.err")"
    elif [ "$want" = "$got" ] && [ "$want_rc" = "$got_rc" ]; then
        ok "yolscore.exe under wine64 scores a Cabrillo log with the shipped cty.dat as the native yolscore ($(grep -m1 '^Total' <<<"$want" | tr -s '\t ' ' '), exit $got_rc)"
    else
        fail "$base: yolscore.exe under wine64 scores the Cabrillo log differently (exit $got_rc, native $want_rc):"$'\n'"$(diff <(echo "$want") \
            <(echo "$got"))"$'\n'"its messages:"$'\n'"$(cat "$tmp/wine.err")"
    fi
}

for zip in "${zips[@]}"; do
    check_zip "$zip"
done

echo
echo "== SHA256SUMS"
if [ -f "$dist/SHA256SUMS" ] && out=$(cd "$dist" && sha256sum -c SHA256SUMS 2>&1); then
    listed=$(awk '{ print $2 }' "$dist/SHA256SUMS" | sort)
    present=$(cd "$dist" && printf '%s\n' *.zip | sort)
    if [ "$listed" = "$present" ]; then
        ok "checksums of $(words <<<"$listed")"
    else
        fail "SHA256SUMS lists $(words <<<"$listed"), dist holds $(words <<<"$present")"
    fi
else
    fail "SHA256SUMS: ${out:-missing}"
fi

# Packing is deterministic: the same build packed again gives the same bytes.
# (That compiling is deterministic too is tools/dist/repro.sh's manual check.)
if [ -f build/mingw32-release/CMakeCache.txt ] && [ -f build/mingw64-release/CMakeCache.txt ]; then
    echo
    echo "== packing again"
    if bash tools/dist/package.sh "$tmp/again" >/dev/null 2>&1 &&
       diff -r "$dist" "$tmp/again" >/dev/null; then
        ok "packing the same build again gives byte-identical files"
    else
        fail "packing the same build again gives different files"
    fi
fi

echo
if [ $failures -ne 0 ]; then
    echo "release packages: $failures check(s) failed"
    exit 1
fi
echo "release packages: all checks passed"
