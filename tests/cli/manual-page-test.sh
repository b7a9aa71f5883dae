#!/usr/bin/env bash
# The manual page of lorvex-search names every command and every option that
# the built program's --help lists, so the page cannot fall behind it.
#   manual-page-test.sh PROGRAM MANUAL-PAGE
set -uo pipefail
usage=$("$1" --help) || { echo "FAIL: $1 --help failed" >&2; exit 1; }
page=$2
failures=0
for command in $(awk '$1 == "lorvex-search" { print $2 }' <<<"$usage"); do
  grep -qx "\.B $command" "$page" || { echo "FAIL: command $command is not described" >&2; failures=$((failures + 1)); }
done
for option in $(grep -oE '\[--[a-z0-9-]+' <<<"$usage" | tr -d '[' | sort -u); do
  grep -qF -- "${option//-/\\-}" "$page" || { echo "FAIL: option $option is not described" >&2; failures=$((failures + 1)); }
done
((failures == 0)) && echo "manual page: every command and option of --help is described"
exit $((failures ? 1 : 0))
