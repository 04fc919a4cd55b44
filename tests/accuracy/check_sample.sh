#!/bin/sh
# geocart on the first 5,000 of the accuracy run's points and on the points
# where that run found a printed field one unit from the exactly rounded
# value, against the exact evaluation: fails when a field is more than one
# unit off, when the evaluator does not give geocart's doubles on every
# point, or when a printed field is not its double rounded.
#   check_sample.sh ACCURACY GEN_POINTS GEOCART WORK_DIRECTORY
# The three programs run under GEOCART_EMULATOR when it is set (the
# emulator's words, in a cross build).
set -eu
emulator=${GEOCART_EMULATOR:-}
mkdir -p "$4"
$emulator "$2" 5000 geocart accuracy >"$4/points.txt"
cat "$(dirname "$0")/differing_points.txt" >>"$4/points.txt"
$emulator "$3" -stdin <"$4/points.txt" >"$4/geocart.txt"
exec $emulator "$1" --check "$4/points.txt" --geocart "$4/geocart.txt"
