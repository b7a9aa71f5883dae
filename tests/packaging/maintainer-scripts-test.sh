#!/usr/bin/env bash
# Runs packaging/postinst and postrm with stand-ins of getent, addgroup,
# dpkg-statoverride and setcap first on PATH that only note their arguments:
# the group is made only when missing, the helper goes to root:lorvex 0750
# before it gets its capability (a change of owner drops capabilities), an
# override already there is kept, the way to join the group is told while
# it has no member, and postrm forgets the override.
#   maintainer-scripts-test.sh PACKAGING_DIR
set -uo pipefail
packaging=$1 work=$(mktemp -d) failures=0
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
mkdir "$work/bin" "$work/state"
stub() { printf '#!/bin/sh\necho "%s $*" >> %s/log\n%s\n' "$1" "$work" "$2" > "$work/bin/$1"; }
stub getent "cat $work/state/group 2>/dev/null"
stub addgroup "echo lorvex:x:998: > $work/state/group"
stub setcap ""
stub dpkg-statoverride "case \$1 in --list) [ -f $work/state/override ];;
  --update) touch $work/state/override;; --remove) rm $work/state/override;; esac"
chmod 755 "$work/bin"/*
run() { : > "$work/log"; PATH=$work/bin:/usr/bin:/bin sh "$packaging/$1" "${@:2}" > "$work/out" 2>&1 ||
        fail "$* failed"; }
logged() { grep -qx "$1" "$work/log"; }
helper=/usr/lib/lorvex/lorvex-route-helper

run postinst configure ""  # a first install
logged "addgroup --system --quiet lorvex" || fail "the group was not made"
logged "dpkg-statoverride --update --add root lorvex 0750 $helper" || fail "no root:lorvex 0750"
owner=$(grep -n "^dpkg-statoverride --update" "$work/log" | cut -d: -f1)
cap=$(grep -n "^setcap cap_net_admin+ep $helper$" "$work/log" | cut -d: -f1)
[[ -n $owner && -n $cap ]] && ((owner < cap)) || fail "no capability, or set before the owner"
grep -q "sudo adduser USER lorvex" "$work/out" || fail "the way to join the group was not told"

echo "lorvex:x:998:ann" > "$work/state/group"  # an upgrade: group and override there
run postinst configure 1.0
grep -q "^addgroup\|^dpkg-statoverride --update" "$work/log" && fail "group or override made again"
logged "setcap cap_net_admin+ep $helper" || fail "an upgrade lost the capability"
grep -q adduser "$work/out" && fail "a group with members was told how to join"

run postinst abort-upgrade 1.0
[[ -s $work/log ]] && fail "postinst abort-upgrade changed something"
for action in remove purge; do
  touch "$work/state/override"
  run postrm "$action"
  logged "dpkg-statoverride --remove $helper" || fail "postrm $action kept the override"
done
run postrm upgrade
grep -q "^dpkg-statoverride --remove" "$work/log" && fail "postrm upgrade forgot the override"

((failures == 0)) && echo "maintainer-scripts: all checks passed"
exit $((failures ? 1 : 0))
