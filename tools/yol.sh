#!/usr/bin/env bash
# One entry point for building, testing and running YOLContest on Debian 12.
#
#   bash tools/yol.sh test            build everything and run every test
#   bash tools/yol.sh main [options]  the host simulator on a generated SQLite log
#   bash tools/yol.sh deps            install what the others need (as root)
#   bash tools/yol.sh bench           benchmarks and whole-run timings
#   bash tools/yol.sh dist            release zips for win32 and win64 in dist/
#   bash tools/yol.sh robot [options] the log robot for the submission window (--help lists them)
#
# main options: --arch win32|win64 (default win32, the shipped module; win32
# runs under qemu where the kernel refuses i386 code, a minute or two),
# --rows N (sample log size, default 2000), --out DIR (default build/main),
# --dpi N (the screen's dots per inch, default 96), --keep-open (leave the
# window up until it is closed).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
JOBS=${YOL_JOBS:-$(nproc)}

say() { printf '\n==> %s\n' "$*"; }

PACKAGES=(cmake ninja-build g++ pkg-config googletest libgtest-dev libbenchmark-dev
          libsqlite3-dev sqlite3 g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64
          wine32:i386 qemu-user-static xvfb xauth imagemagick fonts-wine zip unzip
          libexpat1-dev hamradio-files clang-14 libclang-rt-14-dev time
          libcli11-dev nlohmann-json3-dev libtomlplusplus-dev chromium chromium-driver
          python3-selenium fonts-dejavu-core ca-certificates libcpp-httplib-dev libssl-dev zlib1g-dev)

installed() {
    case "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" in
        *" ok installed") return 0 ;;
        *) return 1 ;;
    esac
}

# The packages deps could not install, and apt's reasons.
DEPS_FAILED=()
DEPS_REASONS=

deps_failed() {  # package apt-output-file
    DEPS_FAILED+=("$1")
    DEPS_REASONS+="    $1:"$'\n'$({ grep -Ev '^(Inst|Conf|Remv) |^$' "$2" || true; } | sed 's/^/      /')$'\n'
}

# Installs what is missing, as far as the archive allows today. A mirror in
# the middle of a sync fails an index or two ("File has unexpected size ...
# Mirror sync in progress?") and holds back packages whose dependencies only
# those indexes have: deps says which index failed and why, installs all it
# can and names what it could not install, with apt's reasons.
deps() {
    local missing=() p
    for p in "${PACKAGES[@]}"; do
        installed "$p" || missing+=("$p")
    done
    command -v npm >/dev/null || missing+=(npm)
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    if [ "$(id -u)" != 0 ]; then
        echo "Missing packages: ${missing[*]}" >&2
        echo "Install them as root: dpkg --add-architecture i386 && apt-get update && apt-get install -y ${missing[*]}" >&2
        # Without 32-bit Wine alone, main runs the 64-bit module and test
        # says what it cannot do.
        [ "${missing[*]}" = wine32:i386 ] || exit 1
        DEPS_FAILED=(wine32:i386)
        return 0
    fi
    say "installing: ${missing[*]}"
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    local out partial=
    out=$(mktemp)
    if ! apt-get update -q >"$out" 2>&1; then
        partial=1
        echo "apt-get update failed in part; going on with the package indexes it has:" >&2
        grep -E '^(E|W): ' "$out" | sed 's/^/    /' >&2
    fi
    local install=(env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends)
    if ! "${install[@]}" "${missing[@]}" >"$out" 2>&1; then
        # Each package on its own, simulated: what apt cannot install today
        # is set aside with its reason; the rest go in together, or one by
        # one when that fails too.
        local fine=()
        for p in "${missing[@]}"; do
            if apt-get install -s -qq --no-install-recommends "$p" >"$out" 2>&1; then
                fine+=("$p")
            else
                deps_failed "$p" "$out"
            fi
        done
        if [ ${#fine[@]} -ne 0 ] && ! "${install[@]}" "${fine[@]}" >"$out" 2>&1; then
            for p in "${fine[@]}"; do
                "${install[@]}" "$p" >"$out" 2>&1 || deps_failed "$p" "$out"
            done
        fi
    fi
    rm -f "$out"
    [ ${#DEPS_FAILED[@]} -eq 0 ] && return 0
    say "could not install: ${DEPS_FAILED[*]}"
    printf '%s' "$DEPS_REASONS" >&2
    if [ -n "$partial" ]; then
        echo "The package index update failed in part (above): once the mirror has settled (a sync takes hours), run bash tools/yol.sh deps again." >&2
    else
        echo "Run bash tools/yol.sh deps again once apt can install them." >&2
    fi
}

configure() {  # preset
    [ -f "build/$1/CMakeCache.txt" ] || cmake --preset "$1" >/dev/null
}

build() {  # presets...
    for preset in "$@"; do
        say "building $preset"
        configure "$preset"
        cmake --build "build/$preset" -j "$JOBS"
    done
}

build_targets() {  # preset targets...
    local preset=$1
    shift
    say "building $* ($preset)"
    configure "$preset"
    cmake --build "build/$preset" -j "$JOBS" --target "$@"
}

# A private X display for Wine when none is set.
# shellcheck source=tools/wine/env.sh
source tools/wine/env.sh
# The window's designed place (975,191, 374 wide) needs a screen wider than 1280.
export YOL_XVFB_SCREEN=${YOL_XVFB_SCREEN:-1600x1000x24}
display() { yol_xvfb_start || exit 1; }
trap 'yol_xvfb_stop' EXIT

# One Wine prefix for the whole run, copied for every Wine process.
wine_base() {
    YOL_WINE_BASE=$(yol_wine_base_prefix "$ROOT/build") || exit 1
    export YOL_WINE_BASE
}

# Every process a test run starts inherits its mark (YOL_TEST_RUN in the
# environment). Prints "PID command line" of each one still running, but
# for this shell and the one listing them (and those that end meanwhile).
run_processes() {
    local f pid command
    for f in $(grep -lzx "YOL_TEST_RUN=$YOL_TEST_RUN" /proc/[0-9]*/environ 2>/dev/null); do
        pid=${f#/proc/}
        pid=${pid%/environ}
        [ "$pid" != "$$" ] && [ "$pid" != "$BASHPID" ] || continue
        command=$(tr '\0' ' ' 2>/dev/null <"/proc/$pid/cmdline") && [ -n "$command" ] || continue
        echo "$pid $command"
    done
}

# Stops what the run keeps running, its X server and every Wine server
# (wineserver -k in the server's own prefix), then fails naming whatever
# of the run still runs a second or two later, and ends that by its id.
stop_run_processes() {
    yol_xvfb_stop
    local pid rest prefix tries=0 left
    left=$(run_processes)
    while read -r pid rest; do
        case "$(cat "/proc/$pid/comm" 2>/dev/null)" in wineserver*) ;; *) continue ;; esac
        prefix=$(tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | sed -n 's/^WINEPREFIX=//p')
        [ -z "$prefix" ] || WINEPREFIX="$prefix" "$YOL_WINESERVER" -k >/dev/null 2>&1 || true
    done <<<"$left"
    local pids=()
    read -ra pids < <(cut -d' ' -f1 <<<"$left" | tr '\n' ' ')
    while [ $tries -lt 20 ] && kill -0 "${pids[@]}" 2>/dev/null; do
        sleep 0.1
        tries=$((tries + 1))
    done
    left=$(run_processes)
    [ -n "$left" ] || return 0
    echo "still running after the tests, started by them:" >&2
    sed 's/^/    /' <<<"$left" >&2
    read -ra pids < <(cut -d' ' -f1 <<<"$left" | tr '\n' ' ')
    kill "${pids[@]}" 2>/dev/null || true
    sleep 1
    kill -KILL "${pids[@]}" 2>/dev/null || true
    return 1
}

run_tests() {
    deps
    if ! installed wine32:i386; then
        echo "32-bit Wine (wine32:i386) is not installed (see above why), so the shipped module, the 32-bit DLL, cannot be tested: nothing was built or run." >&2
        echo "Once apt can install it (a mirror in the middle of a sync settles within hours), run bash tools/yol.sh test again: it installs what is missing first." >&2
        exit 1
    fi
    YOL_TEST_RUN="$$.$(date +%s%N)"
    export YOL_TEST_RUN
    build native native-asan fuzz mingw64 mingw32
    display
    wine_base
    local failed=() passed=0 broken=0 out
    for preset in native native-asan fuzz mingw64 mingw32; do
        say "testing $preset"
        out="build/$preset/ctest-output.txt"
        ctest --test-dir "build/$preset" --output-on-failure --timeout 1500 -j "$JOBS" 2>&1 | tee "$out" ||
            true
        if ! grep -q "100% tests passed" "$out"; then failed+=("$preset"); fi
        # "N% tests passed, F tests failed out of T"
        read -r f t < <(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\1 \2/p' "$out")
        passed=$((passed + ${t:-0} - ${f:-0}))
        broken=$((broken + ${f:-1}))
    done
    # The main job as a smoke test, with a screenshot of the window kept as
    # an artifact.
    local dpi
    for dpi in 96 144; do
        if main_job --arch win64 --rows 500 --dpi "$dpi" --out build/artifacts; then
            passed=$((passed + 1))
        else
            failed+=("main job at $dpi dpi")
            broken=$((broken + 1))
        fi
    done
    # The release packages, built and checked as an operator gets them (a
    # child shell, so that the first failing step stops it).
    if bash tools/yol.sh dist && bash tools/dist/check.sh dist; then
        passed=$((passed + 1))
    else
        failed+=("release packages")
        broken=$((broken + 1))
    fi
    # Nothing the run started may outlive it.
    if stop_run_processes; then
        passed=$((passed + 1))
    else
        failed+=("processes left running")
        broken=$((broken + 1))
    fi
    echo
    echo "tests: $passed passed, $broken failed"
    if [ ${#failed[@]} -ne 0 ]; then
        echo "FAILED: ${failed[*]}"
        exit 1
    fi
}

main_job() {
    local arch=win32 rows=2000 out=build/main keep=() dpi=96 arch_given='' instead=''
    while [ $# -gt 0 ]; do
        case "$1" in
            --arch) arch=$2; arch_given=1; shift 2 ;;
            --rows) rows=$2; shift 2 ;;
            --out) out=$2; shift 2 ;;
            --keep-open) keep=(--keep-open); shift ;;
            --dpi) dpi=$2; shift 2 ;;
            *) echo "unknown option $1" >&2; exit 2 ;;
        esac
    done
    deps
    # Without 32-bit Wine (deps says why it could not be installed) the
    # 64-bit module stands in: the same window and the same report.
    if [ "$arch" = win32 ] && ! installed wine32:i386; then
        if [ -n "$arch_given" ]; then
            echo "--arch win32 needs 32-bit Wine (wine32:i386), which is not installed: as root run bash tools/yol.sh deps, or use --arch win64" >&2
            exit 1
        fi
        arch=win64
        instead="32-bit Wine (wine32:i386) is not installed: running the 64-bit module instead of the shipped 32-bit one (same window, same report); bash tools/yol.sh deps installs it once apt can"
        say "$instead"
    fi
    local preset=mingw32
    [ "$arch" = win64 ] && preset=mingw64
    build_targets native yolloggen yolscore
    build_targets "$preset" YOLContest yolhost
    mkdir -p "$out"
    out=$(cd "$out" && pwd)
    say "generating a sample log of $rows contacts"
    build/native/tools/loggen/yolloggen --db "$out/log.sqlite" --rows "$rows" --seed 7
    display
    wine_base
    say "driving the module ($arch) with the host simulator"
    local bin="build/$preset/bin"
    local log="$out/yolhost.txt"
    : >"$log"
    ( YOL_WINE_DPI=$dpi yol_wine_run "$arch" "$bin/yolhost.exe" --dll "$bin/YOLContest.dll" --db "$out/log.sqlite" \
        --table Log --title "Sample Host" --generate 25 --seed 3 --hold-ms 4000 "${keep[@]}" \
        >"$log" 2>&1 ) &
    local host=$!
    # Screenshot while the simulator holds the window up.
    local shot="$out/window-$arch.png"
    [ "$dpi" = 96 ] || shot="$out/window-$arch-${dpi}dpi.png"
    for _ in $(seq 600); do
        grep -q "holding" "$log" && break
        kill -0 "$host" 2>/dev/null || break
        sleep 0.5
    done
    sleep 1
    # The window at its designed place, 374 x 196 at 96 dots per inch.
    local crop
    crop="$(( (374 * dpi + 95) / 96 + 46 ))x$(( (196 * dpi + 95) / 96 + 54 ))+955+170"
    import -window root -crop "$crop" +repage "$shot" 2>/dev/null || import -window root "$shot"
    wait "$host" || { cat "$log"; echo "the host simulator failed" >&2; exit 1; }
    cat "$log"
    # The contacts the simulator added went into the log as well: the
    # module's running score must equal a full recalculation of the log
    # through the scoring core alone. (The band lines may stand in another
    # order: a tally comes where its band was first recorded.)
    local shown expected
    shown=$(tr -d '\r' <"$log" | sed -n '/^--- report ---$/,/^--- end report ---$/p' | sed '1d;$d' | sort)
    expected=$(build/native/tools/yolscore/yolscore --db "$out/log.sqlite" --table Log | tr -d '\r' | sort)
    if [ "$shown" != "$expected" ]; then
        diff <(echo "$expected") <(echo "$shown") || true
        echo "the module's report differs from the core's recalculation of the log" >&2
        exit 1
    fi
    say "the window's report equals a full recalculation of the log"
    say "screenshot: $shot"
    [ -z "$instead" ] || say "$instead"
}

# The release packages: Release builds of the module and the offline scorer
# only (presets mingw32-release, mingw64-release), packed by tools/dist/package.sh.
dist() {
    deps
    local preset
    for preset in mingw32-release mingw64-release; do
        # The module first: that build reconfigures the tree when needed, so
        # the target list below is current.
        build_targets "$preset" YOLContest
        if ninja -C "build/$preset" -t query yolscore >/dev/null 2>&1; then
            build_targets "$preset" yolscore
        fi
    done
    say "packing dist/"
    bash tools/dist/package.sh dist
}

bench() {
    deps
    say "building the benchmarks (Release)"
    [ -f build/bench/CMakeCache.txt ] || cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build build/bench -j "$JOBS" --target yol_bench yol_core_run yol_country_bench yolscore yolloggen
    say "Evaluate with 1,000,000 contacts (Google Benchmark)"
    build/bench/bench/yol_bench --benchmark_min_time=0.2
    say "whole runs: memory, Evaluate latency, recalculation against a bare walk (1,000,000 rows)"
    build/bench/bench/yol_core_run --rows 1000000 --db build/bench/log-1m.sqlite
    say "country file: lookups of 1,000,000 call signs (Google Benchmark)"
    build/bench/bench/yol_country_bench --benchmark_min_time=0.2
    say "offline scorer: a 1,000,000-contact ADIF file, whole run against a parse-only pass"
    bash bench/scorer-run.sh build/bench
    # The shipped Release DLLs, driven by the simulator of the same width.
    build_targets mingw64 yolhost
    build_targets mingw32 yolhost
    build_targets mingw64-release YOLContest
    build_targets mingw32-release YOLContest
    display
    wine_base
    local arch rows
    for arch in win64 win32; do
        say "ADO path, Release DLL under $arch: recalculation at 100,000 rows, _AddQSO at 10,000 contacts"
        local bits=${arch#win}
        for rows in 100000 10000; do
            yol_wine_run "$arch" "build/mingw$bits/bin/yolhost.exe" \
                --dll "build/mingw$bits-release/bin/YOLContest.dll" --bench "$rows"
        done
    done
}

# The log robot on the embedded default: the data folder build/robot/data, the
# YOL rules, the committee token printed at its first start; yolrobot prints
# the URL. Options go to yolrobot: --port, --rules FILE, --data DIR,
# --max-upload KiB, --per-minute N, --concurrent-uploads N, --window-end ...
# (bash tools/yol.sh robot --help lists them).
robot() {
    deps
    build_targets native yolrobot >&2
    local data=(--data build/robot/data)
    for a in "$@"; do [[ $a == --data || $a == --data=* ]] && data=(); done
    exec build/native/tools/robot/yolrobot "${data[@]}" "$@"
}

# Sourced (by its test): the functions only.
[ "${BASH_SOURCE[0]}" = "$0" ] || return 0

case "${1:-}" in
    deps) deps; [ ${#DEPS_FAILED[@]} -eq 0 ] ;;
    build) deps; build native native-asan fuzz mingw64 mingw32 ;;
    test) run_tests ;;
    main) shift; main_job "$@" ;;
    bench) bench ;;
    dist) dist ;;
    robot) shift; robot "$@" ;;
    *) sed -n '2,15p' "$0"; exit 2 ;;
esac
