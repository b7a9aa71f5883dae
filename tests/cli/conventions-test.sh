#!/usr/bin/env bash
# lorvex-search's command-line conventions against the built program: a
# command's help on standard output with status 0, and a usage error as one
# line naming the problem followed by that command's own usage on standard
# error with status 2. Run inside a private network (scripts/netns-run).
#   conventions-test.sh PROGRAM
set -uo pipefail
program=$1
dir=$(mktemp -d)
trap 'rm -rf -- "$dir"' EXIT
failures=0
fail() { echo "FAIL: lorvex-search $*" >&2; failures=$((failures + 1)); }

# LINE PREFIX: LINE starts with PREFIX; an empty PREFIX wants an empty LINE.
starts() { [[ -z $2 && -z $1 ]] || [[ -n $2 && $1 == "$2"* ]]; }

# STATUS OUT ERR ERR2 ARGS...: the status, and what the first line of
# standard output and the first two of standard error start with. A usage
# on standard error is that of one command.
expect() {
  local status=$1 out=$2 err=$3 err2=$4; shift 4
  env -u LORVEX_TRUST_DIR "$program" "$@" >"$dir/out" 2>"$dir/err" </dev/null
  local got=$?
  ((got == status)) || fail "$*: status $got, expected $status"
  starts "$(head -n 1 "$dir/out")" "$out" || fail "$*: stdout '$(head -n 1 "$dir/out")', expected '$out'"
  starts "$(head -n 1 "$dir/err")" "$err" || fail "$*: stderr '$(head -n 1 "$dir/err")', expected '$err'"
  starts "$(sed -n 2p "$dir/err")" "$err2" || fail "$*: stderr line 2 '$(sed -n 2p "$dir/err")', expected '$err2'"
  if grep -q "^usage: lorvex-search" "$dir/err" && (($(grep -c "lorvex-search [a-z-]* " "$dir/err") != 1)); then
    fail "$*: the usage of more than the one command"
  fi
}

plan_usage=$("$program" plan --help | head -n 1)
expect 0 "$plan_usage" "" "" plan --help
expect 0 "$plan_usage" "" "" help plan
expect 0 "$plan_usage" "" "" plan --start 10.0.0.1 -h
expect 0 "usage:" "" "" help
expect 2 "" "lorvex-search: unknown option --bogus for plan" "usage: lorvex-search plan " plan --bogus
expect 2 "" "lorvex-search: set-ip takes 1 argument(s)" "usage: lorvex-search set-ip " set-ip
expect 2 "" "lorvex-search: bad value for --seconds" "usage: lorvex-search list " list --seconds x
expect 2 "" "lorvex-search: help: unknown command nope" "usage:" help nope
((failures == 0)) && echo "command-line conventions: all cases passed"
exit $((failures ? 1 : 0))
