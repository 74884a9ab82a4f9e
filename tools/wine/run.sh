#!/bin/sh
# Runs a Windows program under Wine, as CMake's cross-compiling emulator:
#
#   run.sh win64|win32 PROGRAM [ARGS...]
#
# The exit code is the program's. See env.sh for the prefixes it uses.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/env.sh"
if [ $# -lt 2 ]; then
    echo "usage: $0 win64|win32 PROGRAM [ARGS...]" >&2
    exit 2
fi
yol_wine_run "$@"
