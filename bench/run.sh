#!/bin/sh
# Korvane copy-speed benchmark (POSIX sh). Not a test: `make bench` runs it.
# Times every row of ROWS against `dd bs=1M` copying the same source, in alternating pairs on
# a RAM-backed folder, and prints per row the medians and ranges of the pair ratios (wall and
# CPU) and the peak resident memory. See bench/README.md.
# Usage: sh bench/run.sh [BUILD]   (BUILD: folder holding korvane, default build)
# Environment: BENCH_MB (source size, default 300), BENCH_PAIRS (default 11),
#              BENCH_DIR (a folder to measure in instead of a RAM-backed one, e.g. on disk),
#              BENCH_ONLY (names of the rows to run, default all).
set -eu
MB=${BENCH_MB:-300}
PAIRS=${BENCH_PAIRS:-11}
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(dirname "$HERE")
BUILD=${1:-build}
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac

# The rows: a name, the source dd copies, and the command, run in the output folder with the
# sources one folder up. `korvane` is the binary under test. One line a row: a method with
# other options is one more line, e.g.
#   raw2mpg-verify  track.raw   korvane -raw2mpg -verify ../track.raw out.mpg
ROWS='
raw2mpg     track.raw   korvane -raw2mpg ../track.raw out.mpg
raw2dat     track.raw   korvane -raw2dat ../track.raw out.dat
dat2mpg     track.dat   korvane -dat2mpg ../track.dat out.mpg
cif2mpg     track.cif   korvane -cif2mpg ../track.cif out.mpg
mpg2mpg     stream.mpg  korvane -mpg2mpg ../stream.mpg out.mpg
mpg2dat     stream.mpg  korvane -mpg2dat ../stream.mpg out.dat
cue2raw     vcd.bin     korvane -cue2raw ../vcd.cue out.raw
cue2dat     vcd.bin     korvane -cue2dat ../vcd.cue out.dat
cue2mpg     vcd.bin     korvane -cue2mpg ../vcd.cue out.mpg
vcdxrip     vcd.bin     vcdxrip -q --nofiles -c ../vcd.cue -o videocd.xml
bchunk-r    vcd.bin     bchunk -r ../vcd.bin ../vcd.cue bc
raw2mpg-verify  addr.raw  korvane -raw2mpg -verify ../addr.raw out.mpg
raw2dat-verify  addr.raw  korvane -raw2dat -verify ../addr.raw out.dat
dat2mpg-verify  addr.dat  korvane -dat2mpg -verify ../addr.dat out.mpg
cif2mpg-verify  track.cif korvane -cif2mpg -verify ../track.cif out.mpg
cue2raw-verify  vcd.bin   korvane -cue2raw -verify ../vcd.cue out.raw
cue2dat-verify  vcd.bin   korvane -cue2dat -verify ../vcd.cue out.dat
cue2mpg-verify  vcd.bin   korvane -cue2mpg -verify ../vcd.cue out.mpg
'
TARGET_RATIO=1.10 # per Korvane row: median of the pair ratios, wall clock, at most this
TARGET_RSS=4096   # and peak resident KiB at most this
VERIFY_RATIO=1.5  # a -verify row: at most this times the wall ratio of its method without it

say() { printf '%s\n' "$*" >&2; }

if [ ! -x "$BUILD/korvane" ]; then
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$BUILD" -j2 --target korvane >/dev/null
fi

# ---- where: a RAM-backed folder, so that neither side waits for the disk -------------------
NEED_KB=$((MB * 1024 * 10))
free_kb() { df -Pk "$1" | awk 'NR == 2 { print $4 }'; }
if [ -n "${BENCH_DIR:-}" ]; then
    PARENT=$BENCH_DIR
else
    PARENT=
    for d in "${TMPDIR:-/tmp}" "${XDG_RUNTIME_DIR:-}" /dev/shm; do
        if [ -n "$d" ] && [ -d "$d" ] && [ -w "$d" ] && [ "$(stat -f -c %T "$d")" = tmpfs ] &&
            [ "$(free_kb "$d")" -ge "$NEED_KB" ]; then
            PARENT=$d
            break
        fi
    done
    if [ -z "$PARENT" ]; then
        say "no tmpfs folder with $((NEED_KB / 1024)) MiB free (tried \$TMPDIR or /tmp,"
        say "\$XDG_RUNTIME_DIR, /dev/shm); set BENCH_DIR to measure in another folder"
        exit 1
    fi
fi
if [ "$(free_kb "$PARENT")" -lt "$NEED_KB" ]; then
    say "need $((NEED_KB / 1024)) MiB free in $PARENT, have $(($(free_kb "$PARENT") / 1024)) MiB"
    exit 1
fi
T=$(mktemp -d "$PARENT/korvane-bench-XXXXXX")
trap 'rm -rf "$T"' EXIT
trap 'exit 130' INT TERM
O=$T/out
mkdir "$O"
cp "$BUILD/korvane" "$T/korvane" # a rebuild during the run does not change what is timed
"${CXX:-c++}" -O2 -o "$T/measure" "$HERE/measure.cpp"

# ---- sources ---------------------------------------------------------------------------------
SECTORS=$((MB * 1048576 / 2352))
say "making synthetic sources in $T: $SECTORS sectors ..."
sh "$HERE/mksrc.sh" "$T" "$SECTORS"
"$T/korvane" -raw2dat "$T/track.raw" "$T/track.dat" >/dev/null
# -verify checks each sector's address and EDC, and the synthetic track repeats one address and
# leaves the EDC out. The -verify rows read the MPEG track of the Video CD image below (vcdimager
# writes running addresses and every EDC); without the image, a .dat wrapped from the stream
# (running addresses, but no EDC to compute: the rows then understate the cost).
"$T/korvane" -mpg2dat "$T/stream.mpg" "$T/addr.dat" >/dev/null
tail -c +45 "$T/addr.dat" >"$T/addr.raw"

if command -v ffmpeg >/dev/null && command -v vcdimager >/dev/null; then
    say "encoding the Video CD stream and making the image ..."
    ffmpeg -v error -f lavfi -i testsrc=duration=60:size=352x288:rate=25 \
        -f lavfi -i sine=frequency=440:duration=60 -target pal-vcd -y "$T/seg.mpg"
    SEG=$(wc -c <"$T/seg.mpg")
    # MPEG-1 program streams concatenate at pack boundaries.
    COPIES=$((MB * 1048576 * 2324 / (SEG * 2352) + 1))
    i=0
    while [ $i -lt $COPIES ]; do
        cat "$T/seg.mpg"
        i=$((i + 1))
    done >"$T/long.mpg"
    (cd "$T" && vcdimager -t vcd2 -c vcd.cue -b vcd.bin long.mpg >/dev/null 2>&1)
    rm -f "$T/seg.mpg" "$T/long.mpg"
    "$T/korvane" -cue2raw -track2 "$T/vcd.cue" "$T/addr.raw" >/dev/null
    "$T/korvane" -raw2dat "$T/addr.raw" "$T/addr.dat" >/dev/null
else
    say "ffmpeg or vcdimager missing: no Video CD image, its rows are left out"
fi
sync # on a disk folder, no write-back of the new sources while timing

# ---- timing ----------------------------------------------------------------------------------
# once FILE COMMAND...: one measured run in the output folder, its line appended to FILE
once() {
    file=$1
    shift
    (cd "$O" && "$T/measure" "$@") >>"$file"
    rm -rf "${O:?}"/*
}

# pairs NAME SOURCE COMMAND...: PAIRS pairs of (dd of SOURCE, COMMAND), the order swapped every
# other pair so that neither side always runs on the other's freshly freed memory.
pairs() {
    name=$1 src=$2
    shift 2
    cat "$T/$src" >/dev/null
    i=0
    while [ $i -lt "$PAIRS" ]; do
        if [ $((i % 2)) -eq 0 ]; then
            once "$T/$name.dd" dd if="../$src" of=dd.out bs=1M
            once "$T/$name.run" "$@"
        else
            once "$T/$name.run" "$@"
            once "$T/$name.dd" dd if="../$src" of=dd.out bs=1M
        fi
        i=$((i + 1))
    done
}

NAMES=
while read -r name src program args; do
    [ -n "$name" ] || continue
    case " ${BENCH_ONLY:-$name} " in *" $name "*) ;; *) continue ;; esac
    [ "$program" = korvane ] && program=$T/korvane
    if [ ! -e "$T/$src" ] || ! command -v "$program" >/dev/null; then
        say "$name: skipped ($src or ${program##*/} missing)"
        continue
    fi
    say "timing $name ..."
    # shellcheck disable=SC2086 # the row's words are the command's arguments
    pairs "$name" "$src" "$program" $args
    NAMES="$NAMES $name"
done <<EOF
$ROWS
EOF

# ---- report ----------------------------------------------------------------------------------
size_mb() { awk -v b="$(wc -c <"$T/$1")" 'BEGIN { printf "%.0f", b / 1048576 }'; }
# spread: "median min max" of the numbers on standard input
spread() {
    sort -g | awk '{ v[NR] = $1 }
        END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; print m, v[1], v[NR] }'
}

printf '\nKorvane benchmark, %s: %s pairs per row with dd bs=1M of the same source\n' \
    "$(date -u '+%Y-%m-%d %H:%M UTC')" "$PAIRS"
printf 'in %s (%s); sources (MiB): raw %s, dat %s, cif %s, mpg %s' "$PARENT" \
    "$(stat -f -c %T "$PARENT")" "$(size_mb track.raw)" "$(size_mb track.dat)" \
    "$(size_mb track.cif)" "$(size_mb stream.mpg)"
[ -e "$T/vcd.bin" ] && printf ', Video CD bin %s' "$(size_mb vcd.bin)"
printf '; load average %s\n\n' "$(cut -d' ' -f1-3 /proc/loadavg 2>/dev/null || echo '?')"
printf '%-15s %6s %10s %6s %10s %8s %8s %8s %8s  %s\n' method wall min-max cpu min-max \
    ms dd_ms rss_KiB dd_KiB target
for name in $NAMES; do
    # the pair ratios: wall, then CPU
    paste -d' ' "$T/$name.run" "$T/$name.dd" |
        awk '{ print $1 / $5, ($6 > 0 ? $2 / $6 : 1) }' >"$T/$name.ratio"
    # shellcheck disable=SC2046 # each spread is three words
    set -- $(cut -d' ' -f1 "$T/$name.ratio" | spread) \
        $(cut -d' ' -f2 "$T/$name.ratio" | spread) \
        $(cut -d' ' -f1 "$T/$name.run" | spread) $(cut -d' ' -f1 "$T/$name.dd" | spread) \
        "$(cut -d' ' -f3 "$T/$name.run" | sort -n | tail -n 1)" \
        "$(cut -d' ' -f3 "$T/$name.dd" | sort -n | tail -n 1)" \
        "$(cat "$T/$name.run" "$T/$name.dd" | awk '$4 != 0 { bad = 1 } END { print bad + 0 }')"
    target=
    case $name in
    vcdxrip | bchunk*) ;;
    *-verify) # at most VERIFY_RATIO times the same method without -verify, against dd alike
        base=$(cut -d' ' -f1 "$T/${name%-verify}.ratio" 2>/dev/null | spread | cut -d' ' -f1)
        target=$(awk -v w="$1" -v b="${base:-0}" -v tv=$VERIFY_RATIO -v r="${13}" -v tr=$TARGET_RSS \
            'BEGIN { print (b > 0 && w <= tv * b && r <= tr) ? "met" : "MISSED" }')
        ;;
    *)
        target=$(awk -v w="$1" -v r="${13}" -v tw=$TARGET_RATIO -v tr=$TARGET_RSS \
            'BEGIN { print (w <= tw && r <= tr) ? "met" : "MISSED" }')
        ;;
    esac
    [ "${15}" = 1 ] && target="$target FAILED RUNS"
    awk -v n="$name" -v w="$1" -v wl="$2" -v wh="$3" -v c="$4" -v cl="$5" -v ch="$6" \
        -v k="$7" -v d="${10}" -v r="${13}" -v dr="${14}" -v t="$target" 'BEGIN {
        printf "%-15s %5.2fx %4.2f-%4.2fx %5.2fx %4.2f-%4.2fx %8.1f %8.1f %8d %8d  %s\n",
            n, w, wl, wh, c, cl, ch, k / 1000, d / 1000, r, dr, t }'
done
