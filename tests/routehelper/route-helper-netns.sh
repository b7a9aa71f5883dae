#!/usr/bin/env bash
# The route helper in a private network namespace (run through
# scripts/netns-run, which gives this namespace the up interface veth0):
# an unprivileged user with a copy of the helper that carries
# cap_net_admin+ep gets exactly the link-local route on veth0, and the
# helper refuses every other argument, interface and route. With SEARCH (the
# lorvex-search program, run with simulated devices) the same user's
# lorvex-search, with the helper beside it, gets the route through the
# engine before it opens a device's page (in place when the command is
# done). Another user who pointed
# 169.254.0.0/16 at another card first is reported, never taken for the
# route in place; a user outside the helper's group is told how to join it.
#   route-helper-netns.sh HELPER [SEARCH]
set -uo pipefail
helper=$1
search=${2:-}
skip() { echo "RouteHelperNetworkTest: skipped: $*" >&2; exit 77; }
command -v setcap >/dev/null || skip "setcap (libcap2-bin) is missing"
command -v setpriv >/dev/null || skip "setpriv (util-linux) is missing"
[[ -n ${LORVEX_NETNS_HOST:-} ]] || skip "not inside scripts/netns-run"

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

work=$(mktemp -d /var/tmp/lvx-route-helper.XXXXXX)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
install -m 755 "$helper" "$work/capped"
install -m 755 "$helper" "$work/plain"
setcap cap_net_admin+ep "$work/capped" 2>/dev/null ||
  skip "this filesystem takes no file capabilities (no extended attributes)"

# As "nobody", with no capability of its own and none to inherit.
as_user() { setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all "$@"; }
expect() { # STATUS ARGS...: the capped helper run as nobody exits with STATUS
  local want=$1; shift
  as_user "$work/capped" "$@" >/dev/null 2>&1
  local got=$?
  ((got == want)) || fail "lorvex-route-helper ${*:0:3}: status $got, expected $want"
}
routes() { ip -4 route show table all | sort; }

ip link add lvxdown type veth peer name lvxdown-p || fail "cannot make a down interface"
before=$(routes)

# Refused before anything is asked of the kernel.
expect 2
expect 2 veth0 veth0
expect 2 -h
expect 2 --help
expect 2 169.254.0.0/16
expect 2 "veth0 metric 1"
expect 2 "$(printf 'e%.0s' {1..16})"
expect 2 "$(printf 'e%.0s' {1..5000})"
expect 2 '$(id)'
# Interfaces that may not have the route.
expect 3 nosuch0
expect 3 lvxdown
expect 3 lo
[[ $(routes) == "$before" ]] || fail "a refused call changed the routes"

# Without the capability the kernel refuses, and says so.
as_user "$work/plain" veth0 >/dev/null 2>&1
(($? == 5)) || fail "the helper without its capability did not report the refusal"
[[ $(routes) == "$before" ]] || fail "the helper without its capability changed the routes"

# The engine, as a normal user without CAP_NET_ADMIN, starts the helper it
# finds beside the program, and the route appears.
if [[ -n $search ]]; then
  install -m 755 "$search" "$work/lorvex-search"
  cp -p "$work/capped" "$work/lorvex-route-helper" # keeps the capability
  setcap cap_net_admin+ep "$work/lorvex-route-helper"
  mac=$(as_user "$work/lorvex-search" list --seconds 2 |
        grep -oiE '([0-9a-f]{2}:){5}[0-9a-f]{2}' | head -1)
  if [[ -z $mac ]]; then
    fail "lorvex-search found no device"
  else
    # In place when the command is done, not some time later.
    as_user "$work/lorvex-search" open "$mac" --print >/dev/null 2>&1
    ip -4 route show 169.254.0.0/16 dev veth0 | grep -q 'scope link metric 1000' ||
      fail "lorvex-search as a normal user did not get the route through the helper"
    ip route del 169.254.0.0/16 dev veth0 metric 1000 2>/dev/null
  fi
fi

# The one route, added by a normal user; a second call finds it in place.
expect 0 veth0
ip -4 route show 169.254.0.0/16 dev veth0 | grep -q 'scope link metric 1000' ||
  fail "no 169.254.0.0/16 scope link metric 1000 route on veth0: $(ip -4 route show)"
expect 0 veth0
added=$(comm -13 <(echo "$before") <(routes) | wc -l)
((added == 1)) || fail "expected exactly one new route, found $added"

# Route pre-empted by another user: "nobody" points 169.254.0.0/16 at
# another card first. The helper asked for veth0 then refuses with its own
# status and changes nothing, whether that route has our metric or a lower
# one; one of a higher metric is beaten by ours.
ip route del 169.254.0.0/16 dev veth0 metric 1000 2>/dev/null
ip link add lvxother type veth peer name lvxother-p && ip link set lvxother-p up && ip link set lvxother up || fail "cannot make a second card"
expect 0 lvxother
taken=$(routes)
as_user "$work/capped" veth0 2>"$work/refusal"
status=$?
((status == 4)) || fail "the helper took a route on another card for its own (status $status)"
grep -q 'leads elsewhere (dev lvxother)' "$work/refusal" ||
  fail "the refusal does not say where the route leads: $(cat "$work/refusal")"
[[ $(routes) == "$taken" ]] || fail "the refused helper changed the routes"
if [[ -n $search ]]; then
  mac=$(as_user "$work/lorvex-search" list --seconds 2 |
        grep -oiE '([0-9a-f]{2}:){5}[0-9a-f]{2}' | head -1)
  as_user "$work/lorvex-search" open "$mac" --print >/dev/null 2>"$work/search-err"
  grep -q 'link-local route on another card: 169.254.0.0/16 leads to lvxother, not to veth0' \
    "$work/search-err" || fail "lorvex-search did not report the route on another card: $(cat "$work/search-err")"
  [[ $(routes) == "$taken" ]] || fail "lorvex-search changed the pre-empted routes"
fi
ip route del 169.254.0.0/16 dev lvxother
ip route add 169.254.0.0/16 dev lvxother metric 100
expect 4 veth0
ip route del 169.254.0.0/16 dev lvxother
ip route add 169.254.0.0/16 dev lvxother metric 2000
expect 0 veth0
ip -4 route show 169.254.0.0/16 dev veth0 | grep -q 'metric 1000' ||
  fail "a worse route on another card kept the helper from adding ours"
ip route del 169.254.0.0/16 dev veth0 metric 1000
ip link del lvxother

# The package lets only the group lorvex run the helper (root:lorvex 0750):
# a user outside it is told the route command and the group to join; a
# member gets the route.
if [[ -n $search ]]; then
  chgrp 4242 "$work/lorvex-route-helper" && chmod 750 "$work/lorvex-route-helper" &&
    setcap cap_net_admin+ep "$work/lorvex-route-helper" || fail "cannot restrict the helper"
  as_user "$work/lorvex-search" open "$mac" --print >/dev/null 2>"$work/search-err"
  grep -q 'join the group lorvex' "$work/search-err" || fail "not told to join the group"
  ip -4 route show 169.254.0.0/16 | grep -q . && fail "a user outside the group got the route"
  setpriv --reuid=65534 --regid=65534 --groups=4242 "$work/lorvex-search" open "$mac" --print \
    >/dev/null 2>&1
  ip -4 route show 169.254.0.0/16 dev veth0 | grep -q 'metric 1000' || fail "a member got no route"
fi

((failures == 0)) && echo "RouteHelperNetworkTest: all checks passed"
exit $((failures ? 1 : 0))
