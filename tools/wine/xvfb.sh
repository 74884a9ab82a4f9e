#!/bin/sh
# Runs a command with an X display: the one in DISPLAY, or a private Xvfb on
# a free display, stopped when the command ends.
#
#   xvfb.sh COMMAND [ARGS...]     e.g. tools/wine/xvfb.sh ctest --preset mingw64
#
# Scripts that source env.sh can call yol_xvfb_start and yol_xvfb_stop instead.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/env.sh"
if [ $# -lt 1 ]; then
    echo "usage: $0 COMMAND [ARGS...]" >&2
    exit 2
fi
yol_xvfb_start || exit 1
trap 'yol_xvfb_stop' EXIT
trap 'exit 130' INT TERM HUP
"$@"
rc=$?
exit $rc
