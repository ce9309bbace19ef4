#!/bin/sh
# Installs on Debian what a step of the project needs and the machine lacks.
# Usage: sh tools/install-deps.sh [build|test|bench|ci]   (default: test)
#   build  a C++17 compiler, CMake, make and gzip (the program and its samples)
#   test   build, plus GoogleTest and the tools the tests compare Korvane with
#   bench  build, plus what the benchmark times Korvane against
#   ci     test, plus the fuzz target's clang and the Debian package tools
# Each package is checked by a command or a file it provides, so a machine that
# has everything runs no apt-get at all. As root it runs apt-get update and
# apt-get install; otherwise it prints the line to run and stops with status 1.
set -eu

missing=

# need PACKAGE TEST...: PACKAGE is missing unless the test command succeeds
need() {
    package=$1
    shift
    "$@" >/dev/null 2>&1 || missing="$missing $package"
}
has() { command -v "$1"; }
exists() { for path in "$@"; do [ -e "$path" ] && return 0; done; return 1; }

build() {
    need g++ has g++
    need cmake has cmake
    need make has make
    need gzip has gzip
}
tests() {
    build
    need libgtest-dev exists /usr/include/gtest/gtest.h
    # Second opinions on the formats: cdxa2mpeg and vcdxrip read our .dat and images,
    # vcdimager and ffmpeg make real ones, cd-info and cdrdao read sheets.
    need vcdimager has vcdimager
    need ffmpeg has ffmpeg
    need libcdio-utils has cd-info
    need cdrdao has cdrdao
}
bench() {
    build
    need vcdimager has vcdimager
    need ffmpeg has ffmpeg
    need bchunk has bchunk
}
ci() {
    tests
    need clang has clang++
    need libclang-rt-14-dev exists /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a
    need dpkg-dev has dpkg-buildpackage
    need build-essential exists /usr/share/build-essential/list
    need debhelper has dh
}

case ${1:-test} in
build) build ;;
test) tests ;;
bench) bench ;;
ci) ci ;;
*)
    echo "usage: sh tools/install-deps.sh [build|test|bench|ci]"
    exit 2
    ;;
esac

# One package may stand for several checks (vcdimager, ffmpeg): name it once.
# shellcheck disable=SC2086 # split into one package a line
missing=$(printf '%s\n' $missing | awk 'NF && !seen[$0]++' | tr '\n' ' ' | sed 's/ $//')
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages. Install them with:"
    echo "sudo apt-get install -y --no-install-recommends $missing"
    exit 1
fi
echo "Installing $missing ..."
export DEBIAN_FRONTEND=noninteractive
apt-get update
# shellcheck disable=SC2086 # one word per package
apt-get install -y --no-install-recommends $missing
