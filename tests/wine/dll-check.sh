#!/bin/sh
# dll-check.sh DLL: the DLL exports exactly GrooblerDialog, undecorated,
# imports from the Windows system DLLs alone, and stays within 24 KiB.
dll=$1
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
dump=$("$objdump" -p "$dll") || { echo "cannot read $dll"; exit 1; }
status=0

exports=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
          awk '/\[ *[0-9]+\]/ {print $NF}')
if [ "$exports" != "GrooblerDialog" ]; then
    echo "exports are not exactly GrooblerDialog: $exports"
    status=1
fi

imports=$(printf '%s\n' "$dump" | awk '/DLL Name:/ {print toupper($3)}' | sort -u)
for name in $imports; do
    case $name in
        KERNEL32.DLL|USER32.DLL|GDI32.DLL|COMCTL32.DLL|VERSION.DLL|SHELL32.DLL) ;;
        *) echo "imports from $name, which is no Windows system DLL"; status=1 ;;
    esac
done

size=$(wc -c < "$dll")
if [ "$size" -gt 24576 ]; then
    echo "$dll is $size bytes, more than 24 KiB"
    status=1
fi
echo "exports: $exports; imports:" $imports "; size: $size bytes"
exit $status
