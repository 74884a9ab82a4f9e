# Wine helpers for running our Windows programs on Linux. Source this file;
# it defines functions and sets nothing else but the Wine environment below.
#
#   yol_wine_run ARCH PROGRAM [ARGS...]   run under Wine in a throw-away prefix
#   yol_wine_base_prefix BUILD_DIR        the build tree's base prefix (made once)
#   yol_wine_ensure_i386                  let 32-bit programs run (qemu via binfmt)
#   yol_wine_prefix_has_wow64 PREFIX      whether a prefix has its 32-bit half
#   yol_xvfb_start / yol_xvfb_stop        a private X display when none is set
#
# ARCH is win64 (/usr/lib/wine/wine64) or win32 (/usr/bin/wine). YOL_WINE_DPI
# (e.g. 144) runs the program at that pixel density instead of 96. The base
# prefix lives in BUILD_DIR/wine/base; YOL_WINE_BASE names a ready prefix to
# use instead. Every run gets a hard-linked copy of the base (cp -al), removed
# afterwards together with its wineserver.
#
# Where 32-bit Wine is installed, 32-bit programs are made to run before any
# prefix is made: wineboot fills drive_c/windows/syswow64 only when they can,
# and a prefix without it (or a copy of one) fails every 32-bit program with
# "could not load kernel32.dll". A base prefix lacking its 32-bit half is made
# again; such a YOL_WINE_BASE is refused.

export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"

YOL_WINE64=/usr/lib/wine/wine64
YOL_WINE32=/usr/bin/wine
# The 32-bit loader: present when 32-bit Wine (wine32:i386) is installed.
YOL_WINE32_LOADER=/usr/lib/wine/wine
YOL_WINESERVER=/usr/lib/wine/wineserver

yol_wine_say() { echo "yol-wine: $*" >&2; }

yol_wine_need_display() {
    if [ -z "${DISPLAY:-}" ]; then
        yol_wine_say "DISPLAY is not set: Wine needs an X display to create windows."
        yol_wine_say "Start one with tools/wine/xvfb.sh (e.g. 'tools/wine/xvfb.sh ctest ...') or export DISPLAY."
        return 1
    fi
}

# 32-bit programs need IA-32 emulation in the kernel or qemu-i386 registered
# with binfmt_misc. Registers qemu only when a trivial i386 program fails to
# run, and only as root.
yol_wine_ensure_i386() {
    local probe=/lib/ld-linux.so.2
    if [ ! -e "$probe" ]; then
        yol_wine_say "no i386 C library ($probe): install wine32:i386"
        return 1
    fi
    "$probe" --version >/dev/null 2>&1 && return 0
    if [ "$(id -u)" != 0 ]; then
        yol_wine_say "32-bit programs cannot run here; as root, register qemu-i386-static with binfmt_misc"
        return 1
    fi
    if [ ! -x /usr/bin/qemu-i386-static ]; then
        yol_wine_say "32-bit programs cannot run here and /usr/bin/qemu-i386-static is missing (apt-get install qemu-user-static)"
        return 1
    fi
    if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
        mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc || {
            yol_wine_say "cannot mount binfmt_misc"
            return 1
        }
    fi
    if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
        echo 1 >/proc/sys/fs/binfmt_misc/qemu-i386
    else
        # binfmt_misc reads the \x escapes itself: they go in as written.
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
            >/proc/sys/fs/binfmt_misc/register || {
            yol_wine_say "cannot register qemu-i386 with binfmt_misc"
            return 1
        }
    fi
    if ! "$probe" --version >/dev/null 2>&1; then
        yol_wine_say "32-bit programs still cannot run after registering qemu-i386"
        return 1
    fi
    yol_wine_say "registered qemu-i386 with binfmt_misc for 32-bit programs"
}

# The build tree a program belongs to: the nearest directory above it that
# holds a CMakeCache.txt.
yol_wine_build_dir() {
    local dir
    dir=$(cd "$(dirname "$1")" && pwd)
    while [ "$dir" != / ]; do
        if [ -f "$dir/CMakeCache.txt" ]; then
            echo "$dir"
            return 0
        fi
        dir=$(dirname "$dir")
    done
    return 1
}

# Whether PREFIX has its 32-bit half: the 32-bit system DLLs wineboot puts
# into drive_c/windows/syswow64 when 32-bit programs can run.
yol_wine_prefix_has_wow64() {
    [ -s "$1/drive_c/windows/syswow64/kernel32.dll" ]
}

# Whether prefixes made now must have their 32-bit half: 32-bit Wine is
# installed and 32-bit programs run (made to run first where the kernel
# refuses them). Where they cannot run yet, prefixes are 64-bit only and the
# win32 runs fail in yol_wine_ensure_i386 instead.
yol_wine_need_wow64() {
    [ -e "$YOL_WINE32_LOADER" ] || return 1
    yol_wine_ensure_i386 && return 0
    yol_wine_say "32-bit Wine cannot run here yet: Wine prefixes get no 32-bit half, only 64-bit programs run in them"
    return 1
}

# Prints the base prefix of BUILD_DIR, creating it first when missing or
# when it lacks a 32-bit half it needs. A concurrent caller waits for the
# first one's wineboot.
yol_wine_base_prefix() {
    local wow64=
    yol_wine_need_wow64 && wow64=1
    if [ -n "${YOL_WINE_BASE:-}" ]; then
        if [ ! -f "$YOL_WINE_BASE/system.reg" ]; then
            yol_wine_say "YOL_WINE_BASE=$YOL_WINE_BASE is not a Wine prefix"
            return 1
        fi
        if [ -n "$wow64" ] && ! yol_wine_prefix_has_wow64 "$YOL_WINE_BASE"; then
            yol_wine_say "YOL_WINE_BASE=$YOL_WINE_BASE lacks its 32-bit half (no drive_c/windows/syswow64/kernel32.dll):" \
                "it was made while 32-bit programs could not run; remove it, or unset YOL_WINE_BASE to make one"
            return 1
        fi
        echo "$YOL_WINE_BASE"
        return 0
    fi
    local root="$1/wine"
    local base="$root/base"
    mkdir -p "$root" || return 1
    (
        flock 9 || exit 1
        if [ -f "$base/system.reg" ]; then
            [ -z "$wow64" ] || yol_wine_prefix_has_wow64 "$base" && exit 0
            yol_wine_say "the Wine prefix $base lacks its 32-bit half (no drive_c/windows/syswow64/kernel32.dll):" \
                "it was made while 32-bit programs could not run; making it again"
            rm -rf "$base"
        fi
        rm -rf "$base.new"
        yol_wine_say "creating the Wine prefix $base (wineboot, up to a few minutes)"
        # Made without a display: with one, the desktop process stays and the
        # server never ends by itself.
        WINEPREFIX="$base.new" env -u DISPLAY "$YOL_WINE64" wineboot -i >/dev/null 2>&1
        rc=$?
        # Without a window manager, Wine waits up to two seconds for every
        # managed window to be withdrawn; unmanaged windows do not wait.
        [ $rc -eq 0 ] && WINEPREFIX="$base.new" env -u DISPLAY "$YOL_WINE64" reg add \
            'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
        # Ending the server writes the registry files.
        WINEPREFIX="$base.new" "$YOL_WINESERVER" -k >/dev/null 2>&1
        if [ $rc -ne 0 ] || [ ! -f "$base.new/system.reg" ]; then
            yol_wine_say "wineboot failed ($rc) for $base"
            rm -rf "$base.new"
            exit 1
        fi
        if [ -n "$wow64" ] && ! yol_wine_prefix_has_wow64 "$base.new"; then
            yol_wine_say "wineboot made $base without its 32-bit half (no drive_c/windows/syswow64/kernel32.dll)"
            rm -rf "$base.new"
            exit 1
        fi
        mv "$base.new" "$base"
    ) 9>"$root/base.lock" || return 1
    echo "$base"
}

# Sets the user's pixel density (HKCU\Control Panel\Desktop\LogPixels) in
# a prefix's registry file, before Wine reads it.
yol_wine_set_dpi() {
    local prefix="$1" dpi="$2"
    case "$dpi" in
        ''|*[!0-9]*) yol_wine_say "YOL_WINE_DPI must be a number of dots per inch, not '$dpi'"; return 1 ;;
    esac
    awk -v line="$(printf '"LogPixels"=dword:%08x' "$dpi")" '
        /^\[/ { desk = index($0, "[Control Panel\\\\Desktop] ") == 1 }
        desk && /^"LogPixels"=/ { next }
        { print }
        /^\[Control Panel\\\\Desktop\] / { print line; found = 1 }
        END { if (!found) { print ""; print "[Control Panel\\\\Desktop] 0"; print line } }
    ' "$prefix/user.reg" >"$prefix/user.reg.new" && mv "$prefix/user.reg.new" "$prefix/user.reg"
}

# Runs PROGRAM under Wine in a fresh copy of the base prefix and returns its
# exit code.
yol_wine_run() {
    local arch="$1" program="$2" loader tree base prefix rc
    shift 2
    case "$arch" in
        win64) loader="$YOL_WINE64" ;;
        win32) loader="$YOL_WINE32"; yol_wine_ensure_i386 || return 1 ;;
        *) yol_wine_say "unknown architecture '$arch' (win32 or win64)"; return 2 ;;
    esac
    yol_wine_need_display || return 1
    if [ ! -f "$program" ]; then
        yol_wine_say "no such program: $program"
        return 1
    fi
    tree="${YOL_WINE_BUILD_DIR:-}"
    [ -n "$tree" ] || tree=$(yol_wine_build_dir "$program") || tree="${TMPDIR:-/tmp}/yol-wine"
    base=$(yol_wine_base_prefix "$tree") || return 1
    mkdir -p "$tree/wine" || return 1
    prefix=$(mktemp -d "$tree/wine/run.XXXXXX") || return 1
    # Hard links make the copy instant; the registry files are copied for
    # real, so that a run can never write through into the base.
    if ! cp -al "$base/." "$prefix/" ||
       ! cp --remove-destination "$base"/*.reg "$prefix/"; then
        yol_wine_say "cannot copy $base"
        rm -rf "$prefix"
        return 1
    fi
    if [ -n "${YOL_WINE_DPI:-}" ] && ! yol_wine_set_dpi "$prefix" "$YOL_WINE_DPI"; then
        rm -rf "$prefix"
        return 1
    fi
    trap 'WINEPREFIX="$prefix" "$YOL_WINESERVER" -k >/dev/null 2>&1; rm -rf "$prefix"; exit 130' INT TERM HUP
    WINEPREFIX="$prefix" "$loader" "$program" "$@"
    rc=$?
    WINEPREFIX="$prefix" "$YOL_WINESERVER" -k >/dev/null 2>&1
    rm -rf "$prefix"
    trap - INT TERM HUP
    return $rc
}

# Starts Xvfb on a free display and exports DISPLAY, unless one is set.
# YOL_XVFB_PID is the server's process id (empty when none was started); a
# second call while the display is set keeps it, so that yol_xvfb_stop still
# ends the server the first call started.
yol_xvfb_start() {
    local n pid tries
    YOL_XVFB_PID=${YOL_XVFB_PID:-}
    [ -n "${DISPLAY:-}" ] && return 0
    n=77
    while [ $n -lt 177 ]; do
        if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
            Xvfb ":$n" -screen 0 "${YOL_XVFB_SCREEN:-1280x1024x24}" -nolisten tcp >/dev/null 2>&1 &
            pid=$!
            tries=0
            while [ $tries -lt 100 ] && kill -0 "$pid" 2>/dev/null && [ ! -e "/tmp/.X11-unix/X$n" ]; do
                sleep 0.1
                tries=$((tries + 1))
            done
            if kill -0 "$pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
                YOL_XVFB_PID=$pid
                export DISPLAY=":$n"
                return 0
            fi
            kill "$pid" 2>/dev/null
        fi
        n=$((n + 1))
    done
    yol_wine_say "cannot start Xvfb on any display from :77 to :176"
    return 1
}

yol_xvfb_stop() {
    if [ -n "${YOL_XVFB_PID:-}" ]; then
        kill "$YOL_XVFB_PID" 2>/dev/null
        wait "$YOL_XVFB_PID" 2>/dev/null
        YOL_XVFB_PID=
    fi
}
