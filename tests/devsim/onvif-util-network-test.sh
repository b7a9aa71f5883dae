#!/usr/bin/env bash
# The simulator's standard cameras against clients we did not write: Debian's
# onvif-util (discovery, WS-UsernameToken login) and curl (HTTP Digest, the
# re-addressing calls). Runs through scripts/netns-run in its host namespace
# and starts its own simulator in the device namespace, with the fleet
# data/onvif-fleet.json on 10.77.0.0/24, the host namespace's own link.
#
# What onvif-util shows (version 1.4.4):
# - it probes for dn:NetworkVideoTransmitter only, so a camera that answers
#   only tds:Device probes stays unseen, and it lists every responder,
#   a printer too, as "UNKNOWN CAMERA" when it has no device service;
# - it signs with WS-UsernameToken only (no HTTP Digest) and reuses one
#   nonce for the calls of a session, so a camera that refuses used nonces
#   answers its second signed call (GetCapabilities) with NotAuthorized:
#   after the login lines it prints that error and ends;
# - it reaches a camera only at the first XAddr's host: a camera in another
#   subnet is listed (by its scopes) but not reached, and it cannot log in
#   at the camera's link-local XAddr ("camera ... not found");
# - before it logs in it calls GetHostname on every camera it finds, signed
#   with an empty user name (the cameras do not count that as a wrong login).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
: "${LORVEX_NETNS_DEVICES:?run through scripts/netns-run}"
command -v onvif-util >/dev/null || { echo "skipped: onvif-util (onvif-tools) missing" >&2; exit 77; }
command -v curl >/dev/null || { echo "skipped: curl missing" >&2; exit 77; }

work=$(mktemp -d)
sim_pid=""
cleanup() {
  [[ -n $sim_pid ]] && kill -TERM "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
check() { # description, then a command that must succeed
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
  else
    echo "FAILED: $what" >&2
    failures=$((failures + 1))
  fi
}
has() { grep -qF -- "$2" <<<"$1"; }
lacks() { ! grep -qF -- "$2" <<<"$1"; }
log_has() { grep -qF -- "$1" "$work/sim.log"; }
log_count() { grep -cF -- "$1" "$work/sim.log"; }

ip netns exec "$LORVEX_NETNS_DEVICES" "$LORVEX_DEVSIM" --fleet "$here/data/onvif-fleet.json" \
  --own-addresses veth1 --verbose --ready-file "$work/ready" 2>"$work/sim.log" &
sim_pid=$!
for _ in $(seq 100); do [[ -f $work/ready ]] && break; sleep 0.05; done
[[ -f $work/ready ]] || { echo "the simulator did not start" >&2; cat "$work/sim.log" >&2; exit 1; }

discover() { timeout 20 onvif-util -a 2>&1; }
login() { printf 'quit\n' | timeout 20 onvif-util -u "$1" -p "$2" "$3" 2>&1; }
soap() { # address, body of the operation, then curl options
  local address=$1 operation=$2
  shift 2
  curl -s -m 10 -H 'Content-Type: application/soap+xml' "$@" \
    -d "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\" xmlns:tt=\"http://www.onvif.org/ver10/schema\"><s:Body>$operation</s:Body></s:Envelope>" \
    "http://$address/onvif/device_service"
}
status() { soap "$@" -o /dev/null -w '%{http_code}'; }
set_address() { # address, new address; a manual IPv4 setting by digest login
  soap "$1" "<tds:SetNetworkInterfaces><tds:InterfaceToken>eth0</tds:InterfaceToken><tds:NetworkInterface><tt:Enabled>true</tt:Enabled><tt:IPv4><tt:Enabled>true</tt:Enabled><tt:Manual><tt:Address>$2</tt:Address><tt:PrefixLength>24</tt:PrefixLength></tt:Manual><tt:DHCP>false</tt:DHCP></tt:IPv4></tds:NetworkInterface></tds:SetNetworkInterfaces>" \
    --digest -u admin:123456
}

# --- discovery
list=$(discover)
echo "$list"
for line in "10.77.0.51 (Gate Cam XC-100)" "10.77.0.52 (Digest Cam XC-200)" \
  "10.77.0.53 (Token Cam XC-300)" "10.77.0.54 (Skewed Cam XC-400)" \
  "10.77.0.55 (Reboot Cam XC-500)" "10.77.0.56 (Transmitter Only XC-600)" \
  "10.77.0.58 (Both Protocols LV-IPC4M-B28)" "10.77.0.61 (Twin A XC-100)" \
  "10.77.0.62 (Twin B XC-100)"; do
  check "discovery lists $line" has "$list" "$line"
done
check "a camera answering only tds:Device probes is not seen by a NetworkVideoTransmitter probe" \
  lacks "$list" "10.77.0.57"
check "the printer has no camera name" has "$list" "10.77.0.59 (UNKNOWN CAMERA)"
check "the printer serves no device service" log_has "02:4F:4E:00:4D:09 onvif - status 404"

# --- a camera in another subnet: onvif-util lists it but cannot reach it;
# its link-local XAddr, through a link-local route on this side, can
check "foreign-subnet camera listed by its first XAddr" has "$list" "192.168.5.20 (Far Cam XC-900)"
check "onvif-util does not log in at the link-local XAddr" \
  has "$(login admin 123456 169.254.77.70)" "ERROR: camera 169.254.77.70 not found"
ip route add 169.254.0.0/16 dev veth0 # inside this private namespace only
out=$(soap 169.254.77.70 "<tds:GetNetworkInterfaces/>" --digest -u admin:123456)
check "foreign-subnet camera answers at its link-local address" \
  has "$out" "<tt:Address>192.168.5.20</tt:Address><tt:PrefixLength>24</tt:PrefixLength>"

# --- request bodies are bounded
big=$(head -c 70000 /dev/zero | tr '\0' a)
check "a body over 64 KiB is refused" test "$(status 10.77.0.51 "<tds:GetHostname>$big</tds:GetHostname>")" = 413
check "an unknown operation is not supported" \
  has "$(soap 10.77.0.51 "<tds:GetUsers/>" --digest -u admin:123456)" "ter:ActionNotSupported"

# --- cameras whose device service misbehaves: no answer, a server error.
# They answer only tds:Device probes, out of onvif-util's sight: it waits on
# a silent camera without a bound of its own and would list nothing.
check "silent camera: no answer in 2 s" \
  test "$(status 10.77.0.63 "<tds:GetSystemDateAndTime/>" -m 2)" = 000
check "failing camera: status 500" test "$(status 10.77.0.64 "<tds:GetSystemDateAndTime/>")" = 500

# --- WS-UsernameToken login
out=$(login admin 123456 10.77.0.51)
echo "$out"
check "right password: connected" has "$out" "successfully connected to host"
check "right password: name and model" has "$out" "name:   Gate Cam XC-100"
check "right password: serial" has "$out" "serial: GATE-0001"
check "a reused nonce is refused" has "$out" "ERROR: get capabilities - ter:NotAuthorized"
out=$(login admin wrong 10.77.0.51)
echo "$out"
check "wrong password: refused" has "$out" "ERROR: get device information - ter:NotAuthorized"
check "wrong password: answered 401" log_has "02:4F:4E:00:4D:01 onvif GetDeviceInformation status 401"
check "token-only camera logs in" has "$(login admin 123456 10.77.0.53)" "name:   Token Cam XC-300"
check "camera 2 h ahead logs in (the client reads its clock first)" \
  has "$(login admin 123456 10.77.0.54)" "serial: SN024F4E004D04"
check "camera with both protocols logs in" has "$(login admin 123456 10.77.0.58)" \
  "name:   Both Protocols LV-IPC4M-B28"

# --- HTTP Digest
out=$(login admin 123456 10.77.0.52)
check "digest-only camera refuses a WS-UsernameToken login" \
  has "$out" "ERROR: get device information - ter:NotAuthorized"
out=$(soap 10.77.0.52 "<tds:GetDeviceInformation/>" --digest -u admin:123456)
check "digest-only camera: curl --digest gets the device information" \
  has "$out" "<tds:SerialNumber>SN024F4E004D02</tds:SerialNumber>"
check "digest-only camera: wrong password is 401" \
  test "$(status 10.77.0.52 "<tds:GetDeviceInformation/>" --digest -u admin:nope)" = 401
# curl's first Digest request carries no body: a token-only camera finds no
# request in it (400) and never challenges, so curl never signs.
check "token-only camera: HTTP Digest gets nowhere" \
  test "$(status 10.77.0.53 "<tds:GetDeviceInformation/>" --digest -u admin:123456)" = 400
check "never Basic" \
  test "$(status 10.77.0.51 "<tds:GetDeviceInformation/>" --basic -u admin:123456)" = 401

# --- lock after five wrong logins
for _ in 1 2 3 4 5; do login admin wrong 10.77.0.60 >/dev/null; done
check "locked camera refuses the right password" \
  has "$(login admin 123456 10.77.0.60)" "ter:NotAuthorized"
check "locked camera answers 403" log_has "02:4F:4E:00:4D:0A onvif GetDeviceInformation status 403"
check "the lock says so" has "$(soap 10.77.0.60 "<tds:GetDeviceInformation/>" --digest -u admin:123456)" \
  "locked"
check "the lock is the one camera's" has "$(login admin 123456 10.77.0.51)" "serial: GATE-0001"

# --- re-addressing that needs a reboot
out=$(set_address 10.77.0.55 10.77.0.65)
check "reboot camera: RebootNeeded true" has "$out" "<tds:RebootNeeded>true</tds:RebootNeeded>"
check "reboot camera: still at its address before the reboot" \
  test "$(status 10.77.0.55 "<tds:GetSystemDateAndTime/>")" = 200
out=$(soap 10.77.0.55 "<tds:SystemReboot/>" --digest -u admin:123456)
check "reboot camera: reboot answered" has "$out" "<tds:Message>Rebooting in 2 seconds</tds:Message>"
check "reboot camera: silent while rebooting" \
  test "$(status 10.77.0.55 "<tds:GetSystemDateAndTime/>")" = 503
sleep 3 # the camera's reboot time: nothing to wait on from outside
list=$(discover)
check "reboot camera: found at the new address" has "$list" "10.77.0.65 (Reboot Cam XC-500)"
check "reboot camera: not at the old one" lacks "$list" "10.77.0.55 "
check "reboot camera: moved" log_has "02:4F:4E:00:4D:05 moves 10.77.0.55 -> 10.77.0.65"
check "reboot camera: Hello from the new address" log_has "02:4F:4E:00:4D:05 onvif hello from 10.77.0.65"

# --- re-addressing without a reboot
out=$(set_address 10.77.0.61 10.77.0.66)
check "twin A: RebootNeeded false" has "$out" "<tds:RebootNeeded>false</tds:RebootNeeded>"
ok=0
for _ in $(seq 50); do
  [[ $(status 10.77.0.66 "<tds:GetSystemDateAndTime/>") == 200 ]] && ok=1 && break
  sleep 0.1
done
check "twin A: answers at the new address right after" test "$ok" = 1
check "twin A: Hello from the new address" log_has "02:4F:4E:00:4D:0B onvif hello from 10.77.0.66"
check "twin A: found at the new address" has "$(discover)" "10.77.0.66 (Twin A XC-100)"

# --- one device, two protocols: the tool lists it once, beside the
# standard-only cameras, and a move by our own protocol is announced to the
# WS-Discovery group too
if [[ -x ${LORVEX_SEARCH_TOOL:-} ]]; then
  out=$("$LORVEX_SEARCH_TOOL" list --seconds 1.5 --format csv 2>&1)
  check "our own search lists the two-protocol device once" \
    test "$(grep -c '02:4C:46:00:4D:08' <<<"$out")" = 1
  check "our own search lists the standard-only cameras too" has "$out" "02:4F:4E"
  "$LORVEX_SEARCH_TOOL" set-ip 02:4C:46:00:4D:08 --ip 10.77.0.68 --mask 255.255.255.0 \
    --gateway 10.77.0.1 --visible-password 123456 >/dev/null 2>&1
  check "both protocols: moved by our own protocol" test $? = 0
  ok=0
  for _ in $(seq 50); do log_has "02:4C:46:00:4D:08 onvif hello from 10.77.0.68" && ok=1 && break; sleep 0.1; done
  check "both protocols: Hello from the new address" test "$ok" = 1
  check "both protocols: onvif-util finds it at the new address" \
    has "$(discover)" "10.77.0.68 (Both Protocols LV-IPC4M-B28)"
else
  echo "not run: the two-protocol move (LORVEX_SEARCH_TOOL not set)"
fi

echo "ONVIF requests answered: $(log_count ' onvif ')"
((failures == 0)) || { echo "--- simulator log" >&2; tail -40 "$work/sim.log" >&2; }
exit $((failures > 0))
