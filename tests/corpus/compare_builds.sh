#!/usr/bin/env bash
# One corpus through every build: each of the ways below converts the same
# generated corpus, and every output must be the same bytes as the GCC
# Release build's on one CPU. Prints the SHA-256 of each; for an output that
# differs, the count of differing lines by kind (the sign of a NaN alone, or
# figures) and the first of them with their input line. Then each build's
# sin and cos, bit for bit, over the arguments the Release build checks
# against MPFR. Exit status 1 when an output differs, unless --report is given.
#   tests/corpus/compare_builds.sh [--report] [WORK_DIRECTORY]
# Run from anywhere after the builds: build/ (default preset, with its
# tests/gen_corpus), build-debug/, build-clang/, build-static/, and the cross
# builds that cross_builds lists below (build-aarch64/ of static-aarch64,
# build-s390x/, build-ppc64le/ and build-riscv64/), run under qemu-user. The
# work directory (build/corpus by default) keeps the corpus and what differs.
# GEOCART_CORPUS_POINTS sets the count of ordinary points (2,000,000).
set -euo pipefail
report_only=0
if [ "${1:-}" = --report ]; then
  report_only=1
  shift
fi
cd "$(dirname "$0")/../.."
work=${1:-build/corpus}
ordinary=${GEOCART_CORPUS_POINTS:-2000000}
extreme=200000
# What a CPU without FMA gets from the C library's math functions.
no_fma=glibc.cpu.hwcaps=-AVX2_Usable,-FMA_Usable,-AVX2,-FMA
last_bit=tests/data/last_bit_points.txt
# The builds of this machine, the reference first, and the cross builds as
# MACHINE:TRIPLE: the folder build-MACHINE, whose programs run under
# qemu-MACHINE-static, which finds the target's loader and libraries under
# /usr/TRIPLE when a program is dynamically linked. s390x is big-endian.
native_builds=(build build-debug build-clang build-static)
cross_builds=(aarch64:aarch64-linux-gnu s390x:s390x-linux-gnu ppc64le:powerpc64le-linux-gnu
              riscv64:riscv64-linux-gnu)

builds=("${native_builds[@]}")
declare -A emulator=()
for cross in "${cross_builds[@]}"; do
  machine=${cross%%:*}
  builds+=("build-$machine")
  emulator[build-$machine]="qemu-$machine-static -L /usr/${cross#*:}"
  command -v "qemu-$machine-static" >/dev/null ||
    { echo "qemu-$machine-static is missing (apt-get install qemu-user-static)" >&2; exit 2; }
done
for build in "${builds[@]}"; do
  for program in "$build/geocart" "$build/tests/sine_cosine_digest"; do
    [ -x "$program" ] || { echo "$program is missing: build every preset first (.ci/run)" >&2; exit 2; }
  done
done
[ -x build/tests/gen_corpus ] ||
  { echo "build/tests/gen_corpus is missing: build every preset first (.ci/run)" >&2; exit 2; }

# BUILD PROGRAM ARGUMENTS...: runs BUILD/PROGRAM, under its emulator if it
# is a cross build's.
in_build() {
  local build=$1 program=$2
  shift 2
  # shellcheck disable=SC2086  # the emulator's words, split on blanks
  ${emulator[$build]:-} "$build/$program" "$@"
}

started=$EPOCHREALTIME
rm -rf "$work"
mkdir -p "$work"
corpus=$work/corpus.txt
build/tests/gen_corpus special >"$work/special.txt"
{
  cat "$work/special.txt"
  build/tests/gen_corpus extreme "$extreme"
  build/tests/gen_corpus ordinary "$ordinary"
  # Points whose printed figures hang on the last bit of a sine or cosine,
  # last, so that the line numbers above are those of the output.
  if [ -f "$last_bit" ]; then
    grep -v -e '^#' -e '^[[:space:]]*$' "$last_bit" || true
  fi
} >"$corpus"
groups=$(wc -l <"$corpus")
printf 'corpus: %d groups (%d special, %d extreme, %d ordinary, %d from %s), %s bytes\n' \
  "$groups" "$(wc -l <"$work/special.txt")" "$extreme" "$ordinary" \
  "$((groups - $(wc -l <"$work/special.txt") - extreme - ordinary))" "$last_bit" \
  "$(wc -c <"$corpus")"

# The lines of `output` that differ from those of `reference`, by kind, and
# the first five with the line of `input` that gave them.
describe_differences() {
  awk -v reference="$1" -v output="$2" -v input="$3" '
    function field(line, i) { s = substr(line, 15 * i + 1, 15); gsub(/ /, "", s); return s }
    function isNan(s) { return s == "NaN" || s == "-NaN" }
    BEGIN {
      while ((getline a < reference) > 0) {
        ++n
        if ((getline b < output) <= 0) { ++missing; continue }
        if ((getline c < input) <= 0) c = "?"
        if (a == b) continue
        nanOnly = substr(a, 46) == substr(b, 46)
        for (i = 0; i < 3; ++i) {
          x = field(a, i); y = field(b, i)
          if (x != y && !(isNan(x) && isNan(y))) nanOnly = 0
        }
        if (nanOnly) ++nans; else ++figures
        if (++shown <= 5) {
          printf "    line %d, input |%s|\n      expected |%s|\n      got      |%s|\n", n, c, a, b
        }
      }
      while ((getline b < output) > 0) ++extra
      printf "    %d lines differ: %d by the sign of a NaN alone, %d in figures; %d missing, %d extra\n",
             nans + figures, nans, figures, missing, extra
    }'
}

differing=()
input=$corpus reference="" reference_sum=""
# NAME COMMAND...: runs the command (standard input and output given by the
# caller), prints its SHA-256 and time, and compares it with the reference,
# the first output when there is none yet, line by line with `input`.
check() {
  local name=$1 output=$work/$1.txt sum seconds
  seconds=$EPOCHREALTIME
  if ! "${@:2}" >"$output"; then
    echo "$name: the run failed" >&2
    exit 1
  fi
  seconds=$(awk -v a="$seconds" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }')
  sum=$(sha256sum <"$output" | cut -d' ' -f1)
  printf '%-20s %s %9d lines %7s s\n' "$name" "$sum" "$(wc -l <"$output")" "$seconds"
  if [ -z "$reference" ]; then
    reference=$output reference_sum=$sum
    [ "$(wc -l <"$output")" -eq "$groups" ] ||
      { echo "$name: $(wc -l <"$output") lines for $groups groups" >&2; exit 1; }
  elif [ "$sum" = "$reference_sum" ]; then
    rm -f "$output"
  else
    differing+=("$name")
    describe_differences "$reference" "$output" "$input"
  fi
}

from_corpus() { "$@" <"$corpus"; }
through_pipe() { cat "$corpus" | "$@"; }

# One CPU: the first that this process may use.
one_cpu=$(taskset -pc $$ | sed 's/.*: //; s/[-,].*//')
if [ "$(nproc)" -lt 2 ]; then
  echo "note: one CPU only, so the runs on every CPU take the one-CPU path too"
fi
check gcc-one-cpu from_corpus taskset -c "$one_cpu" build/geocart -stdin
check gcc-every-cpu from_corpus build/geocart -stdin
check gcc-every-cpu-pipe through_pipe build/geocart -stdin
check gcc-debug from_corpus build-debug/geocart -stdin
check clang from_corpus build-clang/geocart -stdin
check static from_corpus build-static/geocart -stdin
check gcc-without-fma from_corpus env GLIBC_TUNABLES=$no_fma build/geocart -stdin
for cross in "${cross_builds[@]}"; do
  check "${cross%%:*}-qemu" from_corpus in_build "build-${cross%%:*}" geocart -stdin
done

# The single point: one process per point over a sample (every third line of
# the special section, every thousandth after it, and every last-bit
# point), its expected lines those of the reference.
special=$(wc -l <"$work/special.txt")
awk -v special="$special" -v plain="$((special + extreme + ordinary))" \
  '(NR <= special && NR % 3 == 1) || (NR > special && NR % 1000 == 0) || NR > plain { print NR }' \
  "$corpus" >"$work/sample-lines.txt"
awk 'NR == FNR { take[$1]; next } FNR in take' "$work/sample-lines.txt" "$corpus" \
  >"$work/sample.txt"
awk 'NR == FNR { take[$1]; next } FNR in take' "$work/sample-lines.txt" "$reference" \
  >"$work/sample-expected.txt"
one_process_each() { tr ',\t' '  ' <"$work/sample.txt" | xargs -n 4 build/geocart; }
input=$work/sample.txt reference=$work/sample-expected.txt
reference_sum=$(sha256sum <"$reference" | cut -d' ' -f1)
echo "single point, $(wc -l <"$input") processes; expected: $reference_sum"
check single-point one_process_each

# sin and cos bit for bit, below the printed figures: the 10^6 arguments that
# SineCosine.RandomArgumentsOverEveryBinade checks against MPFR in the Release
# build (seed 1), hashed by every build, the cross builds under qemu.
digest() { in_build "$1" tests/sine_cosine_digest 1000000 1 | sed 's/.*: //'; }
sine_reference=$(digest build)
for build in "${builds[@]:1}"; do
  sum=$(digest "$build")
  printf 'sin and cos, %-14s %s (gcc: %s)\n' "$build" "$sum" "$sine_reference"
  [ "$sum" = "$sine_reference" ] || differing+=("sin-and-cos-$build")
done

# geocart-check over the corpus, which holds findings of many kinds: the same
# findings, byte for byte, from every build (status 1: it found some).
findings() {
  local status=0
  in_build "$1" geocart-check <"$corpus" >"$work/findings-$1.txt" || status=$?
  [ "$status" = 1 ] || { echo "geocart-check of $1 ended with status $status" >&2; exit 1; }
  sha256sum <"$work/findings-$1.txt" | cut -d' ' -f1
}
findings_reference=$(findings build)
for build in "${builds[@]:1}"; do
  sum=$(findings "$build")
  printf 'findings, %-14s %s (gcc: %s)\n' "$build" "$sum" "$findings_reference"
  if [ "$sum" = "$findings_reference" ]; then
    rm -f "$work/findings-$build.txt"
  else
    differing+=("geocart-check-$build")
    diff "$work/findings-build.txt" "$work/findings-$build.txt" | head -5
  fi
done
echo "findings of geocart-check over the corpus: $(wc -l <"$work/findings-build.txt") lines"

seconds=$(awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.0f", b - a }')
if [ ${#differing[@]} -eq 0 ]; then
  echo "every build gives the same bytes over the corpus ($seconds s)"
  exit 0
fi
echo "outputs that differ from gcc-one-cpu: ${differing[*]} ($seconds s)"
[ $report_only = 1 ]
