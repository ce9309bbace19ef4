#!/bin/sh
# `make demo`: real conversions of the shipped samples, as a user would see them, then three
# commands to try by hand on the samples the build unpacked.
# Usage: sh demo/run.sh [BUILD]   (run from the project's root; BUILD defaults to build)
set -e
build=${1:-build}
korvane="$build/korvane"
samples="$build/samples"
out="$build/demo"
rm -rf "$out"
mkdir -p "$out"

echo "== MPEG stream to a Video CD .dat file"
"$korvane" -mpg2dat samples/sample.mpg "$out/sample.dat"
echo "== and back to an MPEG stream"
"$korvane" -dat2mpg "$out/sample.dat" "$out/sample-from-dat.mpg"
echo "== the MPEG track of a Video CD image (CUE/BIN made by vcdimager)"
"$korvane" -cue2mpg -track02 "$samples/vcd/sample.cue" "$out/track.mpg"

echo
if cmp -s samples/sample.mpg "$out/sample-from-dat.mpg"; then
    echo "The stream came back from the .dat byte for byte."
else
    echo "The stream did NOT come back from the .dat unchanged."
    exit 1
fi
echo "Outputs are in $out:"
ls -l "$out"

cat <<EOF

The sample images are unpacked in $samples/, each .cue sheet next to its .bin:
  vcd/sample.cue   a Video CD: track 00 the data track, 01 the pregap, 02 the MPEG track
  vcd2/two.cue     a Video CD with two MPEG tracks (02 and 04)
  svcd/svcd.cue    a Super Video CD with one MPEG-2 track (02)
Try these:
  \$ $korvane -cue2dat -track02 $samples/vcd/sample.cue $out/avseq01.dat
  \$ $korvane -dat2mpg $out/avseq01.dat $out/movie.mpg
  \$ $korvane -cue2mpg -track04 $samples/vcd2/two.cue $out/second-clip.mpg
EOF
