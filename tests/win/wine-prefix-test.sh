#!/usr/bin/env bash
# The Wine helpers' base prefix (tools/wine/env.sh) and its 32-bit half,
# with wineboot, the server and the i386 check stubbed: no prefix is really
# made, so it tells the same on a machine that runs i386 code natively.
#
#   wine-prefix-test.sh
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/wine/env.sh
source "$here/../../tools/wine/env.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/yol-wine-prefix-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

# wineboot: makes system.reg, and syswow64/kernel32.dll unless told not to
# (STUB_NO_WOW64); notes in $work/calls each call and whether 32-bit programs
# had been made to run by then.
cat >"$work/wine64" <<'EOF'
#!/bin/sh
if [ "$1" = wineboot ]; then
    state=i386-off
    [ -e "$STUB_DIR/i386-ready" ] && state=i386-on
    echo "wineboot $state" >>"$STUB_DIR/calls"
    mkdir -p "$WINEPREFIX/drive_c/windows/syswow64" || exit 1
    echo '[Software]' >"$WINEPREFIX/system.reg"
    [ -n "${STUB_NO_WOW64:-}" ] || echo MZ >"$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll"
fi
exit 0
EOF
printf '#!/bin/sh\nexit 0\n' >"$work/wineserver"
chmod +x "$work/wine64" "$work/wineserver"
export STUB_DIR="$work"
YOL_WINE64="$work/wine64"
YOL_WINESERVER="$work/wineserver"
YOL_WINE32_LOADER="$work/wine32-loader"  # made by the cases that want 32-bit Wine

# 32-bit programs "run" once this stub has been called, unless STUB_I386_FAILS.
yol_wine_ensure_i386() {
    [ -z "${STUB_I386_FAILS:-}" ] || return 1
    : >"$STUB_DIR/i386-ready"
}

# A fresh case: a build tree holding a base prefix of the given kind
# (none, 64 = without syswow64/kernel32.dll, 32 = complete).
setup() {  # kind
    rm -rf "$work/tree" "$work/calls" "$work/i386-ready" "$work/messages"
    : >"$work/calls"
    mkdir -p "$work/tree"
    unset STUB_NO_WOW64 STUB_I386_FAILS YOL_WINE_BASE
    local base="$work/tree/wine/base"
    case $1 in
        none) ;;
        64|32)
            mkdir -p "$base/drive_c/windows/syswow64"
            echo '[Software]' >"$base/system.reg"
            echo old >"$base/marker"
            [ "$1" = 32 ] && echo MZ >"$base/drive_c/windows/syswow64/kernel32.dll"
            ;;
    esac
    return 0
}
calls() { tr '\n' ' ' <"$work/calls" | sed 's/ $//'; }
base="$work/tree/wine/base"

echo "== the prefix's 32-bit half"
setup 32
yol_wine_prefix_has_wow64 "$base" && ok "a prefix with syswow64/kernel32.dll has it" ||
    fail "a prefix with syswow64/kernel32.dll is taken as lacking its 32-bit half"
setup 64
yol_wine_prefix_has_wow64 "$base" && fail "a prefix without syswow64/kernel32.dll is taken as complete" ||
    ok "a prefix without syswow64/kernel32.dll lacks it"
: >"$base/drive_c/windows/syswow64/kernel32.dll"
yol_wine_prefix_has_wow64 "$base" && fail "an empty kernel32.dll is taken as the 32-bit half" ||
    ok "an empty kernel32.dll is no 32-bit half"

echo "== 32-bit Wine installed"
: >"$YOL_WINE32_LOADER"
setup none
out=$(yol_wine_base_prefix "$work/tree" 2>"$work/messages")
if [ "$out" = "$base" ] && [ "$(calls)" = "wineboot i386-on" ] && yol_wine_prefix_has_wow64 "$base"; then
    ok "a new prefix is made after 32-bit programs were made to run"
else
    fail "new prefix: printed '$out', calls '$(calls)'"
fi

setup 64
out=$(yol_wine_base_prefix "$work/tree" 2>"$work/messages")
if [ "$out" = "$base" ] && [ "$(calls)" = "wineboot i386-on" ] && yol_wine_prefix_has_wow64 "$base" &&
   [ ! -e "$base/marker" ]; then
    ok "a prefix without syswow64/kernel32.dll is made again"
else
    fail "prefix without its 32-bit half: printed '$out', calls '$(calls)'"
fi
if grep -q "lacks its 32-bit half (no drive_c/windows/syswow64/kernel32.dll)" "$work/messages" &&
   grep -q "making it again" "$work/messages"; then
    ok "and says why"
else
    fail "remaking the prefix says: $(cat "$work/messages")"
fi

setup 32
out=$(yol_wine_base_prefix "$work/tree" 2>"$work/messages")
if [ "$out" = "$base" ] && [ -z "$(calls)" ] && [ -e "$base/marker" ]; then
    ok "a complete prefix is kept"
else
    fail "complete prefix: printed '$out', calls '$(calls)'"
fi

setup none
export STUB_NO_WOW64=1
if out=$(yol_wine_base_prefix "$work/tree" 2>"$work/messages"); then
    fail "a wineboot that leaves syswow64 empty is accepted ('$out')"
elif [ -e "$base" ] || [ -e "$base.new" ]; then
    fail "a wineboot that leaves syswow64 empty leaves a prefix behind"
elif ! grep -q "without its 32-bit half" "$work/messages"; then
    fail "a wineboot that leaves syswow64 empty says: $(cat "$work/messages")"
else
    ok "a wineboot that leaves syswow64 empty fails, saying so, and leaves no prefix"
fi

setup 64
export YOL_WINE_BASE="$base"
if out=$(yol_wine_base_prefix "$work/tree" 2>"$work/messages"); then
    fail "YOL_WINE_BASE without its 32-bit half is accepted ('$out')"
elif ! grep -q "YOL_WINE_BASE=$base lacks its 32-bit half" "$work/messages" || [ ! -e "$base/marker" ]; then
    fail "YOL_WINE_BASE without its 32-bit half: $(cat "$work/messages")"
else
    ok "YOL_WINE_BASE without its 32-bit half is refused, saying so, and left alone"
fi
setup 32
export YOL_WINE_BASE="$base"
out=$(yol_wine_base_prefix "$work/tree" 2>"$work/messages")
[ "$out" = "$base" ] && ok "a complete YOL_WINE_BASE is taken" || fail "complete YOL_WINE_BASE: '$out'"

setup 64
export STUB_I386_FAILS=1
out=$(yol_wine_base_prefix "$work/tree" 2>"$work/messages")
if [ "$out" = "$base" ] && [ -z "$(calls)" ] && [ -e "$base/marker" ] &&
   grep -q "only 64-bit programs run" "$work/messages"; then
    ok "where 32-bit programs cannot run yet, a 64-bit prefix is kept, saying so"
else
    fail "32-bit programs cannot run: printed '$out', calls '$(calls)', said: $(cat "$work/messages")"
fi

echo "== no 32-bit Wine"
rm -f "$YOL_WINE32_LOADER"
setup 64
out=$(yol_wine_base_prefix "$work/tree" 2>"$work/messages")
if [ "$out" = "$base" ] && [ -z "$(calls)" ] && [ ! -e "$work/i386-ready" ] && [ -e "$base/marker" ]; then
    ok "a 64-bit prefix is kept and 32-bit programs are left alone"
else
    fail "without 32-bit Wine: printed '$out', calls '$(calls)'"
fi
setup none
out=$(yol_wine_base_prefix "$work/tree" 2>"$work/messages")
if [ "$out" = "$base" ] && [ "$(calls)" = "wineboot i386-off" ]; then
    ok "a new prefix is made without touching 32-bit support"
else
    fail "new prefix without 32-bit Wine: printed '$out', calls '$(calls)'"
fi

echo
if [ $failures -ne 0 ]; then
    echo "wine prefix: $failures check(s) failed"
    exit 1
fi
echo "wine prefix: all checks passed"
