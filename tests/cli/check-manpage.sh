#!/bin/sh
# Usage: check-manpage.sh PAGE PROGRAM
# The man page as man (or groff) reads it gives no warning, and documents every long option the
# program's --help lists. Exit 77 (skipped) when neither tool is on the machine.
set -eu
page=$1
program=$2

if command -v man >/dev/null; then
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
elif command -v groff >/dev/null; then
    warnings=$(groff -man -ww -z "$page" 2>&1)
else
    exit 77
fi
if [ -n "$warnings" ]; then
    printf '%s\n' "$warnings"
    exit 1
fi

# The page writes a dash as \- so that it stays an ASCII hyphen.
options=$("$program" --help | grep -oE -- '^ +(-[a-z], )?--[a-z-]+' | grep -oE -- '--[a-z-]+')
[ -n "$options" ] || { echo "$program --help lists no options"; exit 1; }
status=0
for option in $options; do
    written=$(printf '%s' "$option" | sed 's/-/\\-/g')
    if ! grep -qF -- "$written" "$page"; then
        echo "$page does not document $option"
        status=1
    fi
done
exit $status
