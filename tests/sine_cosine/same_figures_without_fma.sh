#!/bin/sh
# geocart over points whose printed figures depend on the last bit of the
# platform's sine or cosine, as it runs here and with the platform library's
# code for CPUs without FMA: the two outputs must be the same bytes. On a CPU
# or library where the tunable selects nothing, both runs are the plain one.
# GEOCART runs under GEOCART_EMULATOR when it is set (a cross build).
#   same_figures_without_fma.sh GEOCART POINTS WORK_DIRECTORY
set -eu
mkdir -p "$3"
emulator=${GEOCART_EMULATOR:-}
$emulator "$1" -stdin <"$2" >"$3/plain.txt"
GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2_Usable,-FMA_Usable,-AVX2,-FMA $emulator "$1" -stdin <"$2" >"$3/no_fma.txt"
lines=$(wc -l <"$3/plain.txt")
[ "$lines" -eq "$(grep -c . "$2")" ] || { echo "expected a line a point, got $lines" >&2; exit 1; }
cmp "$3/plain.txt" "$3/no_fma.txt"
echo "$lines points: the same figures with and without the FMA code"
