#!/bin/sh
# Runs real conversions on the shipped sample, as a user would see them.
set -e
build=${1:-build}
korvane="$build/korvane"
out="$build/demo"
rm -rf "$out"
mkdir -p "$out"

echo "== MPEG stream to a Video CD .dat file"
"$korvane" -mpg2dat samples/sample.mpg "$out/sample.dat"
echo "== and back to an MPEG stream"
"$korvane" -dat2mpg "$out/sample.dat" "$out/sample-from-dat.mpg"
echo "== the MPEG track of a Video CD image (CUE/BIN made by vcdimager)"
"$korvane" -cue2mpg -track02 "$build/samples/vcd/sample.cue" "$out/track.mpg"

if cmp -s samples/sample.mpg "$out/sample-from-dat.mpg"; then
    echo "The stream came back from the .dat byte for byte."
fi
echo "Outputs are in $out:"
ls -l "$out"
