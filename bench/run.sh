#!/bin/sh
# Korvane copy-speed benchmark (POSIX sh). Not a test: `make bench` runs it.
# Times every method against `dd bs=1M` copying the same source, in paired
# runs, and prints the medians, the ratio to dd and the peak resident memory.
# Usage: sh bench/run.sh [BUILD]   (BUILD: folder holding korvane, default build)
# Environment: BENCH_MB (image size, default 700), BENCH_RUNS (default 7),
#              BENCH_DIR (where the temporary folder goes, default /tmp).
set -eu
MB=${BENCH_MB:-700}
RUNS=${BENCH_RUNS:-7}
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(dirname "$HERE")
BUILD=${1:-build}
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
KORVANE=$BUILD/korvane

say() { printf '%s\n' "$*" >&2; }

# need COMMAND PACKAGE: installs PACKAGE when COMMAND is missing; fails quietly
need() {
    command -v "$1" >/dev/null 2>&1 && return 0
    say "installing $2 ..."
    { apt-get install -y "$2" || { apt-get update && apt-get install -y "$2"; }; } >/dev/null 2>&1 || true
    command -v "$1" >/dev/null 2>&1 || { say "$1 not available: skipped"; return 1; }
}

if [ ! -x "$KORVANE" ]; then
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$BUILD" -j2 >/dev/null
fi
[ -x /usr/bin/time ] || need /usr/bin/time time || { say "/usr/bin/time is required"; exit 1; }
HAVE_CUE=1
need ffmpeg ffmpeg || HAVE_CUE=0
need vcdimager vcdimager || HAVE_CUE=0
HAVE_BCHUNK=1
need bchunk bchunk || HAVE_BCHUNK=0

# Sources, the MPEG for the CUE image and one output of each at a time.
PARENT=${BENCH_DIR:-/tmp}
NEED_KB=$((MB * 1024 * 11))
AVAIL_KB=$(df -Pk "$PARENT" | awk 'NR == 2 { print $4 }')
if [ "$AVAIL_KB" -lt "$NEED_KB" ]; then
    say "need $((NEED_KB / 1024)) MiB free in $PARENT, have $((AVAIL_KB / 1024)) MiB"; exit 1
fi
T=$(mktemp -d "$PARENT/korvane-bench-XXXXXX")
trap 'rm -rf "$T"' EXIT
trap 'exit 130' INT TERM
O=$T/out
mkdir "$O"
cp "$KORVANE" "$T/korvane"  # a rebuild during the run does not change what is timed
K=$T/korvane

# ---- sources -------------------------------------------------------------
SECTORS=$((MB * 1048576 / 2352))
say "making synthetic sources: $SECTORS sectors ..."
sh "$HERE/mksrc.sh" "$T" "$SECTORS"
"$K" -raw2dat "$T/track.raw" "$T/track.dat" >/dev/null

if [ $HAVE_CUE = 1 ]; then
    say "encoding the Video CD stream and making the image ..."
    ffmpeg -v error -f lavfi -i testsrc=duration=60:size=352x288:rate=25 \
        -f lavfi -i sine=frequency=440:duration=60 -target pal-vcd -y "$T/seg.mpg"
    SEG=$(wc -c < "$T/seg.mpg")
    # MPEG-1 program streams concatenate at pack boundaries.
    COPIES=$((MB * 1048576 * 2324 / (SEG * 2352) + 1))
    i=0
    while [ $i -lt $COPIES ]; do cat "$T/seg.mpg"; i=$((i + 1)); done > "$T/long.mpg"
    (cd "$T" && vcdimager -t vcd2 -c vcd.cue -b vcd.bin long.mpg >/dev/null 2>&1)
    rm -f "$T/seg.mpg" "$T/long.mpg"
fi
sync  # no write-back of the new sources while timing

# ---- timing --------------------------------------------------------------
# timed NAME COMMAND...: one run; appends nanoseconds to NAME.t, RSS KiB to NAME.m
timed() {
    name=$1; shift
    t0=$(date +%s%N)
    if ! /usr/bin/time -v -o "$T/tv" "$@" >/dev/null 2>&1; then
        say "FAILED: $*"; : > "$T/$name.fail"
    fi
    t1=$(date +%s%N)
    echo $((t1 - t0)) >> "$T/$name.t"
    sed -n 's/.*Maximum resident set size (kbytes): //p' "$T/tv" >> "$T/$name.m"
    rm -f "$O"/*
}

median() { sort -n "$T/$1.t" | sed -n "$(((RUNS + 1) / 2))p"; }
fastest() { sort -n "$T/$1.t" | head -n 1; }
peak() { sort -n "$T/$1.m" | tail -n 1; }

ROWS=
# bench NAME SOURCE COMMAND...: RUNS pairs of (dd of SOURCE, COMMAND), run in $O
bench() {
    name=$1 src=$2; shift 2
    say "timing $name ..."
    cat "$src" > /dev/null
    i=0
    while [ $i -lt "$RUNS" ]; do
        (cd "$O" && timed "dd_$name" dd if="$src" of="$O/dd.out" bs=1M)
        (cd "$O" && timed "$name" "$@")
        i=$((i + 1))
    done
    ROWS="$ROWS $name"
}

bench raw2mpg "$T/track.raw"  "$K" -raw2mpg "$T/track.raw"  "$O/out.mpg"
bench raw2dat "$T/track.raw"  "$K" -raw2dat "$T/track.raw"  "$O/out.dat"
bench dat2mpg "$T/track.dat"  "$K" -dat2mpg "$T/track.dat"  "$O/out.mpg"
bench cif2mpg "$T/track.cif"  "$K" -cif2mpg "$T/track.cif"  "$O/out.mpg"
bench mpg2mpg "$T/stream.mpg" "$K" -mpg2mpg "$T/stream.mpg" "$O/out.mpg"
bench mpg2dat "$T/stream.mpg" "$K" -mpg2dat "$T/stream.mpg" "$O/out.dat"
if [ $HAVE_CUE = 1 ]; then
    bench cue2raw "$T/vcd.bin" "$K" -cue2raw "$T/vcd.cue" "$O/out.raw"
    bench cue2dat "$T/vcd.bin" "$K" -cue2dat "$T/vcd.cue" "$O/out.dat"
    bench cue2mpg "$T/vcd.bin" "$K" -cue2mpg "$T/vcd.cue" "$O/out.mpg"
    bench vcdxrip "$T/vcd.bin" vcdxrip -q --nofiles -c "$T/vcd.cue" -o "$O/videocd.xml"
    [ $HAVE_BCHUNK = 1 ] && bench bchunk_r "$T/vcd.bin" bchunk -r "$T/vcd.bin" "$T/vcd.cue" "$O/bc"
fi
# -verify rows (_v): the synthetic track repeats one address, so a wrapped stream gives the raw one.
"$K" -mpg2dat "$T/stream.mpg" "$T/addr.dat" >/dev/null && tail -c +45 "$T/addr.dat" > "$T/addr.raw"
bench raw2mpg_v "$T/addr.raw" "$K" -verify -raw2mpg "$T/addr.raw" "$O/out.mpg"
bench raw2dat_v "$T/addr.raw" "$K" -verify -raw2dat "$T/addr.raw" "$O/out.dat"
bench dat2mpg_v "$T/addr.dat" "$K" -verify -dat2mpg "$T/addr.dat" "$O/out.mpg"
bench cif2mpg_v "$T/track.cif" "$K" -verify -cif2mpg "$T/track.cif" "$O/out.mpg"
if [ $HAVE_CUE = 1 ]; then
    bench cue2raw_v "$T/vcd.bin" "$K" -verify -cue2raw "$T/vcd.cue" "$O/out.raw"
    bench cue2dat_v "$T/vcd.bin" "$K" -verify -cue2dat "$T/vcd.cue" "$O/out.dat"
    bench cue2mpg_v "$T/vcd.bin" "$K" -verify -cue2mpg "$T/vcd.cue" "$O/out.mpg"
fi

# ---- report --------------------------------------------------------------
size_mb() { awk -v b="$(wc -c < "$1")" 'BEGIN { printf "%.0f", b / 1048576 }'; }
printf '\nKorvane benchmark: %s runs each, paired with dd bs=1M of the same source\n' "$RUNS"
printf 'sources (MiB): raw %s, dat %s, cif %s, mpg %s' "$(size_mb "$T/track.raw")" \
    "$(size_mb "$T/track.dat")" "$(size_mb "$T/track.cif")" "$(size_mb "$T/stream.mpg")"
[ $HAVE_CUE = 1 ] && printf ', Video CD bin %s' "$(size_mb "$T/vcd.bin")"
printf '\n\n%-10s %10s %10s %8s %8s %10s %10s\n' method median_s dd_s ratio best rss_KiB dd_rss_KiB
for r in $ROWS; do
    m=$(median "$r") d=$(median "dd_$r") fm=$(fastest "$r") fd=$(fastest "dd_$r")
    note=; [ -e "$T/$r.fail" ] && note=' FAILED'
    awk -v n="$r" -v m="$m" -v d="$d" -v fm="$fm" -v fd="$fd" -v rs="$(peak "$r")" \
        -v ds="$(peak "dd_$r")" -v f="$note" 'BEGIN { printf "%-10s %10.3f %10.3f %7.2fx %7.2fx %10d %10d%s\n",
            n, m / 1e9, d / 1e9, m / d, fm / fd, rs, ds, f }'
done
