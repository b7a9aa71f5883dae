#!/usr/bin/env bash
# The bash completion of lorvex-search against the built program: commands,
# each command's options, the choices of --format, and nothing offered for a
# free value.
#   bash-completion-test.sh PROGRAM COMPLETION-FILE
set -uo pipefail
program=$1
source "$2"
failures=0
expect() { # WANT WORDS...: completing the last word of WORDS offers WANT
  local want=$1; shift
  COMP_WORDS=("$program" "$@")
  COMP_CWORD=$(($# ))
  _lorvex_search
  local got="${COMPREPLY[*]}"
  [[ $got == "$want" ]] || { echo "FAIL: lorvex-search $*<TAB>: '$got', expected '$want'" >&2; failures=$((failures + 1)); }
}
expect "list" li
expect "set-ip" set
expect "--help" --h
expect "help" he
expect "plan" help pl
expect "" help plan ""
expect "--http-port --help" plan --h
expect "--seconds" list --s
expect "--format" list --f
expect "--seconds --format --all-columns --columns --login --login-all --user --password --visible-password" list ""
expect "--columns" list --c
expect "--all-columns" list --a
expect "devName deviceActivated" list --columns dev
expect "ipAddr,mask ipAddr,mac ipAddr,manufacturer" list --columns ipAddr,ma
expect "--seconds --format --interval" watch ""
expect "--data-port --dhcp" set-ip 00:11:22:33:44:55 --d
expect "--print" open 00:11:22:33:44:55 --p
expect "--generate-passwords" activate --g
expect "--setup-code --setup-codes" activate --setup
expect "" activate 00:11:22:33:44:55 --setup-code ""
expect "table json csv" list --format ""
expect "json" watch --format j
expect "" set-ip 00:11:22:33:44:55 --ip ""
expect "" no-such-command ""
((failures == 0)) && echo "bash completion: all cases passed"
exit $((failures ? 1 : 0))
