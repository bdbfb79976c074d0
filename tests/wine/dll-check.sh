#!/bin/sh
# dll-check.sh DLL ARCH: the DLL is a PE image of its kind (ARCH 32: x86,
# at most 24 KiB; 64: x64, at most 28 KiB), exports exactly
# GrooblerDialog, undecorated, imports from the Windows system DLLs alone
# and carries no language runtime. Needs no Wine: it is how the x86 DLL is
# checked on a machine that cannot run it.
dll=$1
case $2 in
    32) format=pei-i386; max_bytes=24576; objdump=i686-w64-mingw32-objdump ;;
    64) format=pei-x86-64; max_bytes=28672; objdump=x86_64-w64-mingw32-objdump ;;
    *) echo "usage: dll-check.sh DLL 32|64"; exit 2 ;;
esac
headers=$("$objdump" -f -h "$dll") || { echo "cannot read $dll"; exit 1; }
dump=$("$objdump" -p "$dll") || { echo "cannot read $dll"; exit 1; }
status=0

found_format=$(printf '%s\n' "$headers" | sed -n 's/.*file format \([^ ]*\).*/\1/p' | head -n 1)
if [ "$found_format" != "$format" ]; then
    echo "$dll is $found_format, not $format"
    status=1
fi
if ! printf '%s\n' "$dump" | grep -q 'DLL$'; then
    echo "$dll is not marked as a DLL in its characteristics"
    status=1
fi

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

# A runtime leaves its marks even when linked in statically: thread-local
# storage callbacks, constructor tables, exception tables of its own.
sections=$(printf '%s\n' "$headers" | awk '$1 ~ /^[0-9]+$/ {print $2}')
for name in $sections; do
    case $name in
        .tls|.CRT|.ctors|.dtors|.gcc_except_table|.eh_frame)
            echo "has a $name section: a language runtime crept in"; status=1 ;;
    esac
done

size=$(wc -c < "$dll")
if [ "$size" -gt "$max_bytes" ]; then
    echo "$dll is $size bytes, more than $max_bytes"
    status=1
fi
echo "$found_format; exports: $exports; imports:" $imports "; sections:" $sections "; size: $size bytes"
exit $status
