#!/usr/bin/env bash
# Runs packaging/postinst and postrm with stand-ins of getent, addgroup,
# dpkg-statoverride and setcap first on PATH, each of which only notes its
# arguments: the group is made only when missing, the helper is handed to
# root:lorvex 0750 before it gets its capability (a change of owner drops
# capabilities), an administrator's override is kept, the way to join the
# group is told while it has no member, and postrm forgets the override.
#   maintainer-scripts-test.sh PACKAGING_DIR
set -uo pipefail
packaging=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Stand-ins: the state they answer from is in files under $work.
mkdir "$work/bin"
cat > "$work/bin/getent" <<'STUB'
#!/bin/sh
echo "getent $*" >> "$STUB_LOG"
[ -f "$STUB_STATE/group" ] && cat "$STUB_STATE/group"
[ -f "$STUB_STATE/group" ]
STUB
cat > "$work/bin/addgroup" <<'STUB'
#!/bin/sh
echo "addgroup $*" >> "$STUB_LOG"
echo "lorvex:x:998:" > "$STUB_STATE/group"
STUB
cat > "$work/bin/dpkg-statoverride" <<'STUB'
#!/bin/sh
echo "dpkg-statoverride $*" >> "$STUB_LOG"
case $1 in
  --list) [ -f "$STUB_STATE/override" ] ;;
  --update) touch "$STUB_STATE/override" ;;
  --remove) rm -f "$STUB_STATE/override" ;;
esac
STUB
cat > "$work/bin/setcap" <<'STUB'
#!/bin/sh
echo "setcap $*" >> "$STUB_LOG"
STUB
chmod 755 "$work/bin"/*

run() { # SCRIPT ARGS...: runs it with the stand-ins; its output into $work/out
  local script=$1; shift
  : > "$work/log"
  PATH=$work/bin:/usr/bin:/bin STUB_LOG=$work/log STUB_STATE=$work/state \
    sh "$packaging/$script" "$@" > "$work/out" 2>&1
}
line_of() { grep -n "^$1" "$work/log" | head -1 | cut -d: -f1; }
helper=/usr/lib/lorvex/lorvex-route-helper

# A first install: no group, no override.
mkdir -p "$work/state"
run postinst configure "" || fail "postinst failed on a first install"
grep -qx "addgroup --system --quiet lorvex" "$work/log" || fail "the group was not made"
grep -qx "dpkg-statoverride --update --add root lorvex 0750 $helper" "$work/log" ||
  fail "the helper was not handed to root:lorvex 0750"
grep -qx "setcap cap_net_admin+ep $helper" "$work/log" || fail "the helper got no capability"
owner=$(line_of "dpkg-statoverride --update") cap=$(line_of "setcap")
[[ -n $owner && -n $cap ]] && ((owner < cap)) ||
  fail "the capability was set before the owner, which drops it"
grep -q "sudo adduser USER lorvex" "$work/out" || fail "the way to join the group was not told"

# An upgrade: the group and the override exist (the administrator's own
# override kept); the capability is set again, as dpkg replaced the file.
echo "lorvex:x:998:ann" > "$work/state/group"
run postinst configure 1.0 || fail "postinst failed on an upgrade"
grep -q "^addgroup" "$work/log" && fail "an existing group was made again"
grep -q "^dpkg-statoverride --update" "$work/log" && fail "an existing override was replaced"
grep -qx "setcap cap_net_admin+ep $helper" "$work/log" || fail "an upgrade lost the capability"
grep -q "adduser" "$work/out" && fail "a group with members was told how to join"

# Other actions of postinst do nothing.
run postinst abort-upgrade 1.0 || fail "postinst abort-upgrade failed"
[[ -s $work/log ]] && fail "postinst abort-upgrade changed something: $(cat "$work/log")"

# Removal forgets the override; the group stays.
for action in remove purge; do
  touch "$work/state/override"
  run postrm "$action" || fail "postrm $action failed"
  grep -qx "dpkg-statoverride --remove $helper" "$work/log" || fail "postrm $action kept the override"
  grep -q "delgroup\|groupdel" "$work/log" && fail "postrm $action removed the group"
done
run postrm remove || fail "postrm without an override failed"
grep -q "^dpkg-statoverride --remove" "$work/log" && fail "postrm removed an override that was not there"
run postrm upgrade || fail "postrm upgrade failed"
grep -q "^dpkg-statoverride --remove" "$work/log" && fail "postrm upgrade forgot the override"

((failures == 0)) && echo "maintainer-scripts: all checks passed"
exit $((failures ? 1 : 0))
