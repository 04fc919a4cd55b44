#!/bin/sh
# geocart on the first 5,000 of the accuracy run's points and on the points
# where that run found a printed field one unit from the exactly rounded
# value, against the exact evaluation: fails when a field is more than one
# unit off, when the evaluator does not give geocart's doubles on every
# point, or when a printed field is not its double rounded.
#   check_sample.sh ACCURACY GEOCART WORK_DIRECTORY
set -eu
mkdir -p "$3"
"$1" points 5000 geocart >"$3/points.txt"
cat "$(dirname "$0")/differing_points.txt" >>"$3/points.txt"
"$2" -stdin <"$3/points.txt" >"$3/geocart.txt"
exec "$1" compare --check "$3/points.txt" --geocart "$3/geocart.txt"
