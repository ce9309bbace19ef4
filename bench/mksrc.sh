#!/bin/sh
# Makes the synthetic benchmark sources in DIR, all with COUNT sectors:
#   track.raw  2352-byte Mode 2 sectors (sync, header, subheader, payload, EDC)
#   track.cif  2332-byte sectors (8-byte subheader + payload)
#   stream.mpg the payloads alone, 2324-byte packs back to back
# Every payload begins with a pack start, 00 00 01 BA 21. One sector is
# built with printf and repeated by doubling, so a 700 MB image takes seconds.
# Usage: sh mksrc.sh DIR COUNT
set -eu
dir=$1 count=$2
cd "$dir"

printf '\000\377\377\377\377\377\377\377\377\377\377\000\000\002\000\002' > p.head
printf '\001\001\142\017\001\001\142\017' > p.sub
{ printf '\000\000\001\272\041\000\001\000\001\200\033\221'
  head -c 2312 /dev/zero | tr '\000' '\377'; } > p.pay
printf '\000\000\000\000' > p.edc

cat p.head p.sub p.pay p.edc > one.raw
cat p.sub p.pay > one.cif
cp p.pay one.mpg

# repeat ONE SIZE OUT: COUNT copies of the SIZE-byte file ONE in OUT
repeat() {
    cp "$1" blk
    i=0
    while [ $i -lt 9 ]; do cat blk blk > blk2; mv blk2 blk; i=$((i + 1)); done  # 512 copies
    n=$(( (count + 511) / 512 ))
    while [ $n -gt 0 ]; do cat blk; n=$((n - 1)); done | head -c $((count * $2)) > "$3"
    rm -f blk
}

repeat one.raw 2352 track.raw
repeat one.cif 2332 track.cif
repeat one.mpg 2324 stream.mpg
rm -f p.head p.sub p.pay p.edc one.raw one.cif one.mpg
