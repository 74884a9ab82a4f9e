#!/usr/bin/env bash
# Checks the built module as the host sees it: exactly the six exports, by
# name and ordinal, and imports from system DLLs only (no MinGW runtime DLLs
# to ship beside it).
#   check-exports.sh OBJDUMP YOLContest.dll
set -u
objdump=$1 dll=$2
dump=$("$objdump" -p "$dll") || { echo "cannot read $dll"; exit 1; }

expected="_AddQSO 4
_GetInfo 6
_GetScore 3
_GrabNumber 1
_Release 2
_Run 5"
base=$(sed -n 's/.*Ordinal Base \([0-9]*\).*/\1/p' <<<"$dump")
actual=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" |
         sed -n 's/^[[:space:]]*\[[[:space:]]*\([0-9]*\)\] \(.*\)$/\2 \1/p' |
         while read -r name index; do echo "$name $((index + base))"; done | sort)
status=0
if [ "$actual" != "$expected" ]; then
    echo "exports differ:"
    diff <(echo "$expected") <(echo "$actual")
    status=1
fi

allowed='^(ADVAPI32|GDI32|KERNEL32|USER32|OLEAUT32|OLE32|SHELL32|msvcrt|COMCTL32|api-ms-win-[a-z0-9-]+)\.dll$'
while read -r name; do
    if ! grep -Eiq "$allowed" <<<"$name"; then
        echo "imports a DLL that is not part of Windows: $name"
        status=1
    fi
done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump")

[ $status -eq 0 ] && echo "exports and imports of $dll are as the host expects"
exit $status
