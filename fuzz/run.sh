#!/usr/bin/env bash
# Builds the libFuzzer target, replays every kept regression input, then fuzzes
# for FUZZ_SECONDS seconds (default 60) on a copy of the seed corpus in the
# build folder (the corpus there grows from run to run; the one in fuzz/ stays
# as it is). Exits non-zero when a regression input fails or the target
# crashes, hangs (10 s), leaks or reports a sanitizer finding.
#
#   bash fuzz/run.sh                       # 60 s
#   FUZZ_SECONDS=1800 bash fuzz/run.sh     # a long run
#   FUZZ_BUILD=/tmp/bf bash fuzz/run.sh
#
# A finding's input is left in $FUZZ_BUILD/artifacts/; replay it with
#   build-fuzz/fuzz_korvane <file>
# (a finding prints the end of the program's console). Keep it as
# fuzz/regressions/fuzz_korvane-<fault>.
set -uo pipefail

fuzz_dir=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$fuzz_dir")
seconds=${FUZZ_SECONDS:-60}
target=fuzz_korvane
build=${FUZZ_BUILD:-$root/build-fuzz}
mkdir -p "$build" && build=$(cd "$build" && pwd)

echo "fuzz: building $target in $build"
if ! cmake -S "$fuzz_dir" -B "$build" -DCMAKE_CXX_COMPILER="${FUZZ_CXX:-clang++}" >"$build/configure.log" 2>&1; then
    cat "$build/configure.log"
    exit 1
fi
if ! cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" >"$build/build.log" 2>&1; then
    tail -n 60 "$build/build.log"
    exit 1
fi

# Prints what a failed libFuzzer run said about its finding.
show_finding() {
    local line
    line=$(grep -n -m1 -E "FINDING|ERROR: |runtime error|ALARM|deadly signal|out-of-memory" "$1" | cut -d: -f1)
    if [ -n "$line" ]; then
        sed -n "${line},$((line + 45))p" "$1"
    else
        tail -n 45 "$1"
    fi
}

# The target makes its work folders under TMPDIR; keep them (and any left
# behind by a crash, which skips the clean-up) inside the build folder.
work_tmp=$build/tmp
rm -rf "$work_tmp"
mkdir -p "$work_tmp"
export TMPDIR=$work_tmp

failed=0
artifacts=$build/artifacts
mkdir -p "$artifacts"
common=(-timeout=10 -rss_limit_mb=2048 "-artifact_prefix=$artifacts/")
options=(-max_len=65536 "-dict=$fuzz_dir/cue.dict")

# Every input that once found a fault must keep passing.
shopt -s nullglob
regressions=("$fuzz_dir"/regressions/"$target"-*)
shopt -u nullglob
passed=0
for input in "${regressions[@]}"; do
    log=$build/$target-regression.log
    if "$build/$target" "${common[@]}" "$input" >"$log" 2>&1; then
        passed=$((passed + 1))
    else
        echo "fuzz: $target: regression input ${input#"$root"/} FAILS:"
        show_finding "$log"
        failed=1
    fi
done
[ ${#regressions[@]} -eq 0 ] || echo "fuzz: $target: $passed of ${#regressions[@]} regression input(s) pass"

corpus=$build/corpus/korvane
mkdir -p "$corpus"
cp "$fuzz_dir/corpus/korvane"/* "$corpus"/
# The tests' sheet fixtures (CUE, TOC, CCD) join the seeds as sheets (selector 1) behind a
# control byte (-cue2mpg).
for sheet in "$root"/tests/fixtures/*.cue "$root"/tests/image/fixtures/*.toc "$root"/tests/image/fixtures/*.ccd; do
    [ -f "$sheet" ] && { printf '\001\002'; cat "$sheet"; } >"$corpus/fixture-$(basename "$sheet" .cue)"
done

log=$build/$target.log
stamp=$build/$target.started
touch "$stamp"
echo "fuzz: $target: fuzzing for $seconds s (log: ${log#"$root"/})"
if "$build/$target" "${common[@]}" "${options[@]}" -max_total_time="$seconds" -print_final_stats=1 \
    "$corpus" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    inputs=$(find "$corpus" -type f | wc -l)
    echo "fuzz: $target: no fault in $seconds s, ${runs:-?} inputs run, corpus $inputs inputs"
else
    echo "fuzz: $target: FAULT found (input kept in ${artifacts#"$root"/}/):"
    show_finding "$log"
    find "$artifacts" -type f -newer "$stamp"
    failed=1
fi

if [ $failed -ne 0 ]; then
    echo "fuzz: FAILED"
    exit 1
fi
echo "fuzz: passed"
