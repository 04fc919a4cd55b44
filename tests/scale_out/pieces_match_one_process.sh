#!/bin/sh
# The one-machine recipe of docs/scale-out.md on self-contained input (every
# line one complete group): GNU parallel cuts the file at line ends into
# several pieces, one geocart reads each, and the output put together in order
# must be byte for byte that of one process over the whole file.
#   pieces_match_one_process.sh PARALLEL GEOCART GEN_POINTS WORKDIR
# GEOCART and GEN_POINTS run under GEOCART_EMULATOR when it is set (the
# emulator's words, in a cross build).
set -eu
parallel=$1 geocart=$2 gen_points=$3 dir=$4
emulator=${GEOCART_EMULATOR:-}
count=5000
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
# parallel keeps a folder in $HOME; give it one where none is set.
export HOME="${HOME:-$dir}"

# About 230 KB, so a 16 KiB block gives a dozen pieces; the last line is left
# without its line end, as only the last piece's can be.
$emulator "$gen_points" "$count" geocart | head -c -1 >points.txt
$emulator "$geocart" -stdin <points.txt >one.txt
"$parallel" --will-cite --pipepart -a points.txt --block 16k -k --joblog jobs.txt \
  $emulator "$geocart" -stdin >pieces.txt </dev/null

pieces=$(($(wc -l <jobs.txt) - 1))
if [ "$pieces" -lt 8 ]; then
  echo "the input was cut into $pieces pieces only" >&2
  exit 1
fi
lines=$(wc -l <one.txt)
if [ "$lines" -ne "$count" ]; then
  echo "one process wrote $lines lines for $count points" >&2
  exit 1
fi
cmp one.txt pieces.txt
echo "$count points in $pieces pieces: same bytes as one process"
