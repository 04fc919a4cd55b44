#!/usr/bin/env bash
# Runs the shell transcripts of one page of documentation and compares each
# with what the page shows, so that a stale example fails.
#   run_examples.sh GEOCART PAGE [GEOCART_CHECK]
# A transcript is a fenced block of a Markdown page, or an .EX/.EE block of
# a manual page, whose first line begins with "$ ". Each "$ " line, with the
# "> " lines right after it, is one command, run by sh in the block's own
# empty directory with GEOCART (and GEOCART_CHECK) first on PATH. The lines after it, up to the
# next command, are its output: standard output and standard error in one
# stream, as a terminal shows them, compared byte for byte, trailing blanks
# included. A command must end with status 0, unless its output ends with
# the shell's line "Aborted": then with SIGABRT (status 134), or it is a
# geocart-check whose output holds findings (FILE:LINE:COLUMN: ...) and
# that does not show its status itself: then with status 1.
# Exit status 1 when a transcript differs, 77 when the page holds none.
# With GEOCART_EMULATOR set (the emulator's words, in a cross build), GEOCART
# runs under it; the line that qemu-user writes of its own when the program
# it runs ends by SIGABRT is no output of the tool's and is left out.
set -euo pipefail
page=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
put_on_path() {
  if [ -n "${GEOCART_EMULATOR:-}" ]; then
    printf '#!/bin/sh\nexec %s %s "$@"\n' "$GEOCART_EMULATOR" "$(realpath "$1")" >"$work/bin/$2"
    chmod +x "$work/bin/$2"
  else
    ln -s "$(realpath "$1")" "$work/bin/$2"
  fi
}
put_on_path "$1" geocart
[ -z "${3:-}" ] || put_on_path "$3" geocart-check
export PATH="$work/bin:$PATH" LC_ALL=C
ulimit -c 0

blocks=0 commands=0 failures=0
dir="" command="" expected="" at=0

# The manual page's escapes, as the reader sees them; any other is an error.
unescape() {
  local rest=$1
  for e in '\(aq' '\(dq' '\-' '\&' '\e'; do rest=${rest//"$e"/}; done
  if [[ $rest == *\\* ]]; then
    echo "$page:$number: an escape the examples do not know: $1" >&2
    exit 2
  fi
  line=${1//\\(aq/\'}
  line=${line//\\(dq/\"}
  line=${line//\\-/-}
  line=${line//\\&/}
  line=${line//\\e/\\}
}

run_pending() {
  [ -n "$command" ] || return 0
  commands=$((commands + 1))
  printf '%s' "$expected" >"$work/expected"
  local want=0 status=0
  [[ $expected == Aborted$'\n' || $expected == *$'\n'Aborted$'\n' ]] && want=134
  if [[ $command == geocart-check* && $command != *'echo "status $?"' ]] &&
     grep -Eq '^[^:]+:[0-9]+:[0-9]+: ' <<<"$expected"; then
    want=1
  fi
  (cd "$dir" && exec sh -c "$command") >"$work/actual" 2>&1 </dev/null || status=$?
  if [ -n "${GEOCART_EMULATOR:-}" ]; then
    sed -i '/^qemu: uncaught target signal 6 (Aborted) - core dumped$/d' "$work/actual"
  fi
  if [ "$status" != "$want" ] || ! cmp -s "$work/expected" "$work/actual"; then
    failures=$((failures + 1))
    echo "$page:$at: \$ $command"
    [ "$status" = "$want" ] || echo "  ended with status $status, the page shows $want"
    cat -A "$work/expected" >"$work/expected.shown"
    cat -A "$work/actual" >"$work/actual.shown"
    diff -u --label 'the page (cat -A)' --label 'the run (cat -A)' \
      "$work/expected.shown" "$work/actual.shown" || true
  fi
  command="" expected=""
}

in_block=0 transcript=0 continuing=0 number=0
man=0; [[ $page == *.[1-9] || $page == *.[1-9].in ]] && man=1
if [ $man = 1 ]; then opens=.EX closes=.EE; else opens='```*' closes='```'; fi
while IFS= read -r line || [ -n "$line" ]; do
  number=$((number + 1))
  if [ $in_block = 0 ]; then
    # shellcheck disable=SC2053  # the opening fence is a pattern
    [[ $line == $opens ]] && in_block=1 transcript=-1
    continue
  fi
  if [[ $line == "$closes" ]]; then
    run_pending
    in_block=0
    continue
  fi
  if [ $transcript = -1 ]; then  # the first line tells a transcript
    transcript=0
    if [[ $line == '$ '* ]]; then
      transcript=1 blocks=$((blocks + 1))
      dir=$(mktemp -d "$work/block.XXXX")
    fi
  fi
  [ $transcript = 1 ] || continue
  [ $man = 1 ] && unescape "$line"
  if [[ $line == '$ '* ]]; then
    run_pending
    command=${line#'$ '} at=$number continuing=1
  elif [ $continuing = 1 ] && [[ $line == '> '* ]]; then
    command+=$'\n'${line#'> '}
  else
    expected+=$line$'\n' continuing=0
  fi
done <"$page"

if [ $blocks = 0 ]; then
  echo "$page: no examples"
  exit 77
fi
echo "$page: $blocks examples, $commands commands, $failures differing"
[ $failures = 0 ]
