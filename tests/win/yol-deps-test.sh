#!/usr/bin/env bash
# tools/yol.sh where the package mirror is in the middle of a sync: deps goes
# on past the failed index and installs all it can, main runs the 64-bit
# module when 32-bit Wine could not be installed, test stops saying why; and
# a test run leaves no process of its own behind. apt-get, dpkg, dpkg-query
# and id are stubbed (nothing is installed), as are the builds and Wine.
#
#   yol-deps-test.sh
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
yol="$here/../../tools/yol.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/yol-deps-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }
mkdir -p "$work/bin"
export STUB_DIR="$work"

# apt-get: the index update fails as a mirror in mid-sync fails it
# (STUB_MIRROR=syncing), and wine32:i386 then cannot be installed; an
# install of more than one package fails to fetch with STUB_TOGETHER_FAILS.
# Installed packages are listed in $work/installed, every call in $work/calls.
cat >"$work/bin/apt-get" <<'EOF'
#!/bin/sh
echo "apt-get $*" >>"$STUB_DIR/calls"
url=http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz
case "$1" in
    update)
        [ "${STUB_MIRROR:-}" = syncing ] || exit 0
        echo "Err:7 http://deb.debian.org/debian-security bookworm-security/main i386 Packages"
        echo "E: Failed to fetch $url  File has unexpected size (27868 != 27864). Mirror sync in progress? [IP: 151.101.2.132 80]" >&2
        echo "   Hashes of expected file:" >&2
        echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
        exit 100 ;;
    install) shift ;;
    *) exit 100 ;;
esac
simulate= packages=
for a in "$@"; do
    case "$a" in
        -s) simulate=1 ;;
        -*) ;;
        *) packages="$packages $a" ;;
    esac
done
for p in $packages; do
    if [ "$p" = wine32:i386 ] && [ "${STUB_MIRROR:-}" = syncing ]; then
        echo "The following packages have unmet dependencies:"
        echo " wine32:i386 : Depends: libwine:i386 (= 8.0~repack-4) but it is not going to be installed"
        echo "E: Unable to correct problems, you have held broken packages." >&2
        exit 100
    fi
    [ -z "$simulate" ] || echo "Inst $p (1.0 Debian:12 [amd64])"
done
[ -z "$simulate" ] || exit 0
if [ -n "${STUB_TOGETHER_FAILS:-}" ] && [ "$(echo $packages | wc -w)" -gt 1 ]; then
    echo "E: Failed to fetch http://deb.debian.org/debian/pool/main/x/x.deb  Connection timed out" >&2
    exit 100
fi
for p in $packages; do echo "$p" >>"$STUB_DIR/installed"; done
EOF
cat >"$work/bin/dpkg-query" <<'EOF'
#!/bin/sh
for last in "$@"; do :; done
[ -f "$STUB_DIR/installed" ] || exit 1
while IFS= read -r p; do
    [ "$p" = "$last" ] && { printf 'install ok installed'; exit 0; }
done <"$STUB_DIR/installed"
exit 1
EOF
cat >"$work/bin/dpkg" <<'EOF'
#!/bin/sh
[ "$1" = --print-foreign-architectures ] && echo i386
exit 0
EOF
printf '#!/bin/sh\necho "${STUB_UID:-0}"\n' >"$work/bin/id"
printf '#!/bin/sh\nexit 0\n' >"$work/bin/npm"
printf '#!/bin/bash\n: >"${@: -1}"\n' >"$work/bin/import"
chmod +x "$work"/bin/*
export PATH="$work/bin:$PATH"

mapfile -t packages < <(source "$yol"; printf '%s\n' "${PACKAGES[@]}")
others=$(printf '%s\n' "${packages[@]}" | grep -vx 'wine32:i386' | sort)
all_but_wine32() { : >"$work/installed"; printf '%s\n' "$others" >"$work/installed"; }
installed_list() { sort -u "$work/installed"; }

echo "== deps on a mirror in the middle of a sync"
: >"$work/installed"
: >"$work/calls"
STUB_MIRROR=syncing bash "$yol" deps >"$work/out" 2>&1
rc=$?
[ $rc -ne 0 ] && ok "deps fails when a package is left out" || fail "deps succeeded with wine32:i386 left out"
if grep -q 'binary-i386/Packages.xz  File has unexpected size (27868 != 27864). Mirror sync in progress?' "$work/out"; then
    ok "names the index that failed, in apt's words"
else
    fail "the failed index is not named: $(cat "$work/out")"
fi
[ "$(installed_list)" = "$others" ] && ok "installs every other package" ||
    fail "installed: $(installed_list | tr '\n' ' ')"
if grep -q '^==> could not install: wine32:i386$' "$work/out" &&
   grep -q 'wine32:i386 : Depends: libwine:i386 (= 8.0~repack-4) but it is not going to be installed' "$work/out" &&
   grep -q 'held broken packages' "$work/out" && grep -q 'run bash tools/yol.sh deps again' "$work/out"; then
    ok "names what it could not install, why, and how to retry"
else
    fail "what was left out is not said: $(cat "$work/out")"
fi

: >"$work/installed"
: >"$work/calls"
STUB_MIRROR=syncing STUB_TOGETHER_FAILS=1 bash "$yol" deps >"$work/out" 2>&1
if [ "$(installed_list)" = "$others" ] && grep -q "apt-get install .* cmake$" "$work/calls"; then
    ok "when the rest fails together too, installs it package by package"
else
    fail "one by one: installed $(installed_list | wc -l) of $(echo "$others" | wc -l)"
fi

all_but_wine32
bash "$yol" deps >"$work/out" 2>&1 && grep -qx 'wine32:i386' "$work/installed" &&
    ! grep -q "could not install" "$work/out" && ok "once the mirror has settled, deps installs the rest" ||
    fail "settled mirror: $(cat "$work/out")"

echo "== main and test without 32-bit Wine"
# main with the builds, the display, the prefix and Wine stubbed, in a tree
# of its own whose log generator and scorer are stubs as well.
run_main() {  # main options...
    (
        # shellcheck source=tools/yol.sh
        source "$yol"
        build_targets() { echo "build $*" >>"$STUB_DIR/calls"; }
        display() { :; }
        wine_base() { :; }
        yol_wine_run() {
            echo "wine $1 $2" >>"$STUB_DIR/calls"
            printf 'holding\n--- report ---\n  14\t1\n--- end report ---\n'
        }
        mkdir -p "$work/tree/build/native/tools/loggen" "$work/tree/build/native/tools/yolscore"
        printf '#!/bin/sh\nexit 0\n' >"$work/tree/build/native/tools/loggen/yolloggen"
        printf '#!/bin/sh\nprintf "  14\\t1\\n"\n' >"$work/tree/build/native/tools/yolscore/yolscore"
        chmod +x "$work"/tree/build/native/tools/*/*
        cd "$work/tree" || exit 1
        main_job --out "$work/main" "$@"
    )
}
all_but_wine32
: >"$work/calls"
STUB_MIRROR=syncing run_main >"$work/out" 2>&1
rc=$?
line='==> 32-bit Wine (wine32:i386) is not installed: running the 64-bit module instead of the shipped 32-bit one'
if [ $rc -eq 0 ] && grep -q "^wine win64 build/mingw64/bin/yolhost.exe" "$work/calls" &&
   grep -q "^build mingw64 YOLContest yolhost" "$work/calls" && ! grep -q mingw32 "$work/calls"; then
    ok "main runs the 64-bit module"
else
    fail "main without 32-bit Wine: status $rc, calls: $(tr '\n' ';' <"$work/calls") $(cat "$work/out")"
fi
grep -q 'could not install: wine32:i386' "$work/out" && ok "after deps has said why" || fail "deps said nothing"
if [ "$(grep -c "^$line" "$work/out")" = 2 ] && [ "$(grep -n "^$line" "$work/out" | tail -1 | cut -d: -f1)" = "$(wc -l <"$work/out")" ] &&
   [ "$(grep -n "^$line" "$work/out" | head -1 | cut -d: -f1)" -lt "$(grep -n 'report equals' "$work/out" | cut -d: -f1)" ]; then
    ok "and says so in one line at the start and at the end"
else
    fail "the stand-in is not said at the start and the end: $(cat "$work/out")"
fi

: >"$work/calls"
# Not as root: deps names the package to install and lets main go on.
STUB_UID=1000 run_main --arch win32 >"$work/out" 2>&1
rc=$?
if [ $rc -ne 0 ] && ! grep -q "^wine" "$work/calls" && grep -q "^Missing packages: wine32:i386$" "$work/out" &&
   grep -q "^--arch win32 needs 32-bit Wine" "$work/out"; then
    ok "main --arch win32 (not as root) stops, saying why"
else
    fail "main --arch win32 without 32-bit Wine: status $rc, $(cat "$work/out")"
fi

: >"$work/calls"
(
    source "$yol"
    export STUB_MIRROR=syncing
    build() { echo "build $*" >>"$STUB_DIR/calls"; }
    run_tests
) >"$work/out" 2>&1
rc=$?
if [ $rc -ne 0 ] && ! grep -q "^build" "$work/calls" &&
   grep -q "the shipped module, the 32-bit DLL, cannot be tested" "$work/out" &&
   grep -q "run bash tools/yol.sh test again" "$work/out"; then
    ok "test stops before building, saying why and how to retry"
else
    fail "test without 32-bit Wine: status $rc, calls $(tr '\n' ';' <"$work/calls"), said: $(cat "$work/out")"
fi

echo "== processes a test run leaves"
# The main job asks for the display again while the run's own X server is up:
# the server's id must survive that, or nothing ends it after the tests.
if (
    source "$(dirname "$yol")/wine/env.sh"
    export DISPLAY=:99
    YOL_XVFB_PID=4242
    yol_xvfb_start && [ "$YOL_XVFB_PID" = 4242 ]
); then
    ok "a second display request keeps the X server's id"
else
    fail "a second display request forgets the X server the run started"
fi
# A Wine server that ends on wineserver -k in its prefix, and a stray process.
cp "$(command -v sleep)" "$work/bin/wineserver"
mkdir -p "$work/prefix"
cat >"$work/wineserver-k" <<'EOF'
#!/bin/sh
[ "$1" = -k ] && kill "$(cat "$WINEPREFIX/pid")"
EOF
chmod +x "$work/wineserver-k"
leftovers() {  # stray
    (
        source "$yol"
        YOL_WINESERVER="$work/wineserver-k"
        export YOL_TEST_RUN="yol-deps-test.$$"
        WINEPREFIX="$work/prefix" "$work/bin/wineserver" 60 &
        echo $! >"$work/prefix/pid"
        [ -z "$1" ] || { sleep 60 & echo $! >"$work/stray"; }
        sleep 0.2
        stop_run_processes
    )
}
if leftovers "" 2>"$work/out" && ! kill -0 "$(cat "$work/prefix/pid")" 2>/dev/null; then
    ok "a Wine server of the run is stopped in its prefix, and nothing is left"
else
    fail "stopping the run's Wine server: $(cat "$work/out")"
    kill "$(cat "$work/prefix/pid")" 2>/dev/null
fi
if leftovers stray 2>"$work/out"; then
    fail "a process left running is not counted"
elif ! grep -q "^    $(cat "$work/stray") sleep 60" "$work/out"; then
    fail "the process left running is not named: $(cat "$work/out")"
else
    ok "a process left running fails the run, named"
fi
kill -0 "$(cat "$work/stray")" 2>/dev/null && { fail "and is still running"; kill "$(cat "$work/stray")"; } ||
    ok "and is ended"

echo
if [ $failures -ne 0 ]; then
    echo "yol.sh deps: $failures check(s) failed"
    exit 1
fi
echo "yol.sh deps: all checks passed"
