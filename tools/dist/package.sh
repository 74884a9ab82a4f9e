#!/usr/bin/env bash
# Packs the built release trees into the files an operator downloads:
#
#   package.sh [OUT_DIR]     (default dist; run by tools/yol.sh dist)
#
# For win32 (build/mingw32-release) and win64 (build/mingw64-release):
#   YOLContest-<version>-<arch>.zip        YOLContest.dll (stripped), yolscore.exe
#                                          (when the tree builds it), operator-guide.txt,
#                                          cty.dat (the country file yolscore.exe reads
#                                          beside itself) and cty-copyright.txt
#   YOLContest-<version>-<arch>.dll.debug  the DLL's debug information, named by
#                                          the DLL's .gnu_debuglink
# and SHA256SUMS over the zips. The version is the project() version of the
# configured trees. The country file is Debian's (package hamradio-files, or
# YOL_CTY_DAT and YOL_CTY_COPYRIGHT), shipped as it is, with the package's
# copyright file; the guide names its version (the file's VER entry, else the
# package's version). The same inputs give byte-identical files: binutils keep
# the PE time stamp at zero, zip entries carry one fixed date (UTC), fixed
# permissions, no extra fields, in sorted order.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$ROOT"
out=${1:-dist}
# Zip entry date: SOURCE_DATE_EPOCH when set, else 2024-01-01 00:00:00 UTC.
stamp=${SOURCE_DATE_EPOCH:-1704067200}
export TZ=UTC LC_ALL=C

die() { echo "package: $*" >&2; exit 1; }

# Whether the release tree of PRESET defines TARGET.
has_target() { ninja -C "build/$1" -t query "$2" >/dev/null 2>&1; }

command -v zip >/dev/null || die "zip is missing (apt-get install zip)"

# The country file and its licence.
cty=${YOL_CTY_DAT:-$(dpkg -L hamradio-files 2>/dev/null | grep '/cty\.dat$' | head -n 1 || true)}
cty_copyright=${YOL_CTY_COPYRIGHT:-/usr/share/doc/hamradio-files/copyright}
[ -n "$cty" ] && [ -f "$cty" ] || die "no cty.dat: install hamradio-files (apt-get install hamradio-files)"
[ -f "$cty_copyright" ] || die "$cty_copyright is missing: install hamradio-files"
# The file names its version as an alias of one entity: "=VER20230502".
cty_version=$(grep -o -m 1 '=VER[0-9]\{8\}\b' "$cty" | sed 's/^=VER//' || true)
if [ -z "$cty_version" ] && [ -z "${YOL_CTY_DAT:-}" ]; then
    cty_version=$(dpkg-query -W -f='${Version}' hamradio-files 2>/dev/null | sed 's/[^0-9].*//' || true)
fi
[[ "$cty_version" =~ ^[0-9]{8}$ ]] || die "cannot tell the version of $cty (no =VERyyyymmdd entry)"
cty_date=$(date -u -d "$cty_version" '+%-d %B %Y' 2>/dev/null) || die "$cty: version $cty_version is no date"

version=
for preset in mingw32-release mingw64-release; do
    cache="build/$preset/CMakeCache.txt"
    [ -f "$cache" ] || die "$cache is missing: run 'bash tools/yol.sh dist'"
    v=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$cache")
    [ -n "$v" ] || die "no CMAKE_PROJECT_VERSION in $cache"
    [ -z "$version" ] || [ "$v" = "$version" ] || die "the release trees disagree: $version, $v"
    version=$v
done

mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out"/YOLContest-*.zip "$out"/YOLContest-*.dll.debug "$out/SHA256SUMS"
stage=$(mktemp -d "${TMPDIR:-/tmp}/yol-dist.XXXXXX")
trap 'rm -rf "$stage"' EXIT

for arch in win32 win64; do
    case $arch in
        win32) preset=mingw32-release triplet=i686-w64-mingw32 ;;
        win64) preset=mingw64-release triplet=x86_64-w64-mingw32 ;;
    esac
    bin="build/$preset/bin"
    name="YOLContest-$version-$arch"
    dir="$stage/$arch"
    mkdir -p "$dir"
    [ -f "$bin/YOLContest.dll" ] || die "$bin/YOLContest.dll is missing: run 'bash tools/yol.sh dist'"

    # Binutils stamp rewritten PE files with SOURCE_DATE_EPOCH, else the
    # current time: zero, as the linker left it.
    SOURCE_DATE_EPOCH=0 "$triplet-objcopy" --only-keep-debug "$bin/YOLContest.dll" \
        "$out/$name.dll.debug"
    SOURCE_DATE_EPOCH=0 "$triplet-strip" --strip-all -o "$dir/YOLContest.dll.tmp" \
        "$bin/YOLContest.dll"
    # The link holds the debug file's name (without its folder) and checksum.
    SOURCE_DATE_EPOCH=0 "$triplet-objcopy" --add-gnu-debuglink="$out/$name.dll.debug" \
        "$dir/YOLContest.dll.tmp" "$dir/YOLContest.dll"
    rm "$dir/YOLContest.dll.tmp"

    if has_target "$preset" yolscore; then
        [ -f "$bin/yolscore.exe" ] || die "$bin/yolscore.exe is missing: run 'bash tools/yol.sh dist'"
        SOURCE_DATE_EPOCH=0 "$triplet-strip" --strip-all -o "$dir/yolscore.exe" "$bin/yolscore.exe"
    else
        echo "package: build/$preset has no yolscore target: $name.zip goes without yolscore.exe" >&2
    fi

    tr -d '\r' <docs/operator-guide.txt |
        sed "s/@VERSION@/$version/g; s/@CTY_VERSION@/$cty_version/g; s/@CTY_DATE@/$cty_date/g; s/\$/\r/" \
        >"$dir/operator-guide.txt"
    cp "$cty" "$dir/cty.dat"
    tr -d '\r' <"$cty_copyright" | sed 's/$/\r/' >"$dir/cty-copyright.txt"

    chmod 0644 "$dir"/*
    touch -d "@$stamp" "$dir"/*
    (cd "$dir" && find . -maxdepth 1 -type f -printf '%f\n' | sort |
        zip -q -X -D -9 "$out/$name.zip" -@)
    chmod 0644 "$out/$name.zip" "$out/$name.dll.debug"
    echo "$out/$name.zip"
done

(cd "$out" && sha256sum YOLContest-"$version"-win32.zip YOLContest-"$version"-win64.zip \
    >SHA256SUMS)
echo "$out/SHA256SUMS"
