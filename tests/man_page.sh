#!/bin/sh
# Renders the manual page and fails on any warning from groff or mandoc.
# Exit status 77 tells CTest the test was skipped.
page=$1
if ! command -v groff >/dev/null 2>&1; then
    echo "skipped: groff is not installed"
    exit 77
fi
warnings=$(groff -t -man -Tutf8 -ww -z "$page" 2>&1)
if command -v mandoc >/dev/null 2>&1; then
    warnings="$warnings$(mandoc -Tlint -W warning "$page" 2>&1)"
else
    echo "note: mandoc is not installed; checked with groff alone"
fi
if [ -n "$warnings" ]; then
    printf '%s\n' "$warnings"
    exit 1
fi
# Something must have been rendered: the name line and the version.
groff -t -man -Tutf8 "$page" 2>/dev/null | grep -q "monosplit - split a stereo WAV file" || exit 1
head -n 2 "$page" | grep -q "monosplit $2" || { echo "the page does not show version $2"; exit 1; }
echo "rendered without warnings"
