#!/usr/bin/env bash
# Service discovery between two network namespaces joined by a veth pair,
# so that no datagram reaches the host's own interfaces:
#   - Ann (namespace A) and Bob (namespace B) find each other;
#   - Bob stops, says goodbye, and Ann sees him gone;
#   - agent-tell in B finds Ann by discovery alone and gets her echo, and Ann
#     sees it gone once it has ended;
#   - announcements are believed only where the announced agent proves its
#     name over TLS: an impostor announcing Ann's name with its own key is
#     passed over for the real Ann; one announcing Ann's real key at its own
#     address gets nothing (its handshake fails); an agent without a key is
#     found only with --trust-unauthenticated;
#   - a name server in B announces itself, and Cid, told of no name server,
#     registers there.
# Needs root (or the capabilities to make namespaces); exits 77 (skipped)
# with the reason where namespaces cannot be made.
# Usage: discovery-namespaces.sh ECHO_AGENT AGENT_TELL ANSD
set -uo pipefail

echo_agent="$1"
agent_tell="$2"
ansd="$3"

suffix="$$"
ns_a="orv-disc-a-$suffix"
ns_b="orv-disc-b-$suffix"
addr_a=10.213.77.1
addr_b=10.213.77.2
work="$(mktemp -d)"
pids=()

cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  ip netns del "$ns_a" 2>/dev/null
  ip netns del "$ns_b" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

skip() {
  echo "SKIPPED: $1 (service discovery is only tested inside network namespaces made here)"
  exit 77
}

fail() {
  echo "FAILED: $1"
  for log in "$work"/*.out "$work"/*.err; do
    [[ -s $log ]] && { echo "--- $log"; tail -n 20 "$log"; }
  done
  exit 1
}

make_namespaces() {
  command -v ip >/dev/null || skip "the ip command is missing"
  ip netns add "$ns_a" 2>/dev/null || skip "cannot make a network namespace (not root?)"
  ip netns add "$ns_b" || skip "cannot make a second network namespace"
  ip link add "va$suffix" netns "$ns_a" type veth peer name "vb$suffix" netns "$ns_b" ||
    skip "cannot make a veth pair"
  local ns dev addr
  for side in "$ns_a va$suffix $addr_a" "$ns_b vb$suffix $addr_b"; do
    read -r ns dev addr <<<"$side"
    ip -n "$ns" link set lo up
    ip -n "$ns" addr add "$addr/24" dev "$dev"
    ip -n "$ns" link set "$dev" up
    ip -n "$ns" route add 224.0.0.0/4 dev "$dev"
  done
}

# Runs a program in a namespace with its own agent home; stdout and stderr
# go to $work/NAME.out and $work/NAME.err.
start_in() {
  local ns="$1" address="$2" name="$3"
  shift 3
  mkdir -p "$work/home-$name"
  ip netns exec "$ns" env ORVANTE="$work/home-$name" ORVANTE_HOST_ADDRESS="$address" "$@" \
    >"$work/$name.out" 2>"$work/$name.err" &
  pids+=("$!")
  started=$!
}

# Waits until FILE holds a line matching PATTERN, or fails after 30 s.
wait_for() {
  local file="$1" pattern="$2" deadline=$((SECONDS + 30))
  until grep -q -- "$pattern" "$file" 2>/dev/null; do
    ((SECONDS < deadline)) || fail "no line '$pattern' in $(basename "$file")"
    sleep 0.05
  done
}

make_namespaces

# An echo agent with a key of its own in namespace NS at ADDRESS.
start_keyed() {
  local ns="$1" address="$2" name="$3" as="$4"
  shift 4
  start_in "$ns" "$address" "$name" "$echo_agent" -name "$as" -pause 0 -lookup 1 -listen "$address" \
    -key "$work/$name.key" "$@"
}

# Runs agent-tell in namespace B, looking for Ann; its output goes to
# $work/NAME.out and .err, its exit status is returned.
tell_ann() {
  local name="$1"
  shift
  mkdir -p "$work/home-$name"
  ip netns exec "$ns_b" env ORVANTE="$work/home-$name" ORVANTE_HOST_ADDRESS="$addr_b" \
    "$agent_tell" --discover -name "$name" --wait 20 "$@" >"$work/$name.out" 2>"$work/$name.err"
}

start_keyed "$ns_a" "$addr_a" Ann Ann
wait_for "$work/Ann.out" "^ready "
ann=$started
ann_key="$(sed -n 's/^key //p' "$work/Ann.out")"
echo "Ann $ann_key" >"$work/known-agents"
start_keyed "$ns_b" "$addr_b" Bob Bob
bob=$started
wait_for "$work/Bob.out" "^ready "
wait_for "$work/Ann.out" "^found Bob$"
wait_for "$work/Bob.out" "^found Ann$"
echo "ok: Ann and Bob found each other"

kill -TERM "$bob"
wait "$bob" 2>/dev/null
wait_for "$work/Ann.out" "^gone Bob$"
echo "ok: Ann saw Bob go"

tell_ann Tell --known-agents "$work/known-agents" Ann '(hello)' ||
  fail "agent-tell --discover did not get Ann's answer"
grep -q "echo" "$work/Tell.out" || fail "agent-tell's reply is not Ann's echo"
wait_for "$work/Ann.out" "^gone Tell$"
echo "ok: agent-tell found Ann by discovery and was answered"

start_keyed "$ns_a" "$addr_a" Mallory Ann
wait_for "$work/Mallory.out" "^ready "
mallory=$started
tell_ann Tell2 --known-agents "$work/known-agents" Ann '(hello)' ||
  fail "agent-tell did not reach the real Ann beside an impostor"
grep -q "echo" "$work/Tell2.out" || fail "agent-tell's reply is not Ann's echo"
grep -q "^heard" "$work/Mallory.out" && fail "the impostor with its own key was sent the message"
echo "ok: an impostor announcing Ann with another key was passed over"

kill -TERM "$mallory" "$ann"
wait "$mallory" "$ann" 2>/dev/null
start_keyed "$ns_a" "$addr_a" Mallory2 Ann -claim-key "$ann_key"
wait_for "$work/Mallory2.out" "^ready "
tell_ann Tell3 Ann '(secret)' && fail "agent-tell reported a message to an impostor as sent"
grep -q "did not prove its name" "$work/Tell3.err" || fail "agent-tell did not say why nothing was sent"
grep -q "^heard" "$work/Mallory2.out" && fail "the impostor claiming Ann's key was sent the message"
echo "ok: an impostor announcing Ann's own key could not prove it and got nothing"

start_in "$ns_a" "$addr_a" Dan "$echo_agent" -name Dan -pause 0 -lookup 1 -listen "$addr_a"
wait_for "$work/Dan.out" "^ready "
mkdir -p "$work/home-Tell4"
ip netns exec "$ns_b" env ORVANTE="$work/home-Tell4" ORVANTE_HOST_ADDRESS="$addr_b" \
  "$agent_tell" --discover -name Tell4 --wait 3 Dan '(hello)' >"$work/Tell4.out" 2>"$work/Tell4.err" &&
  fail "agent-tell believed an agent that announces no key"
ip netns exec "$ns_b" env ORVANTE="$work/home-Tell4" ORVANTE_HOST_ADDRESS="$addr_b" \
  "$agent_tell" --discover --trust-unauthenticated -name Tell4 --wait 20 Dan '(hello)' \
  >"$work/Tell4.out" 2>"$work/Tell4.err" || fail "agent-tell --trust-unauthenticated did not reach Dan"
grep -q "echo" "$work/Tell4.out" || fail "agent-tell's reply is not Dan's echo"
echo "ok: an agent without a key is found only when unauthenticated agents are trusted"

start_in "$ns_b" "$addr_b" ansd "$ansd" --port 0 --bind "$addr_b" --announce AgentNameServer
wait_for "$work/ansd.out" "ansd listening on"
start_in "$ns_a" "$addr_a" Cid "$echo_agent" -name Cid -pause 0 -lookup 3 -listen "$addr_a"
wait_for "$work/Cid.out" "^found AgentNameServer$"
wait_for "$work/ansd.err" "register Cid"
echo "ok: Cid found the announced name server and registered there"
