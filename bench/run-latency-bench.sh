#!/usr/bin/env bash
# The Item import over the TDS test server with a network round trip added, beside the
# same over plain loopback: bench_tds_import (see bench/import/TdsImportBench.cpp) runs
# in a network namespace of its own, with a TDS server of its own started inside it;
# the namespace's loopback delays every packet by half the round trip (tc netem), so a
# request and its answer take the round trip between them. A kernel without netem gets
# the same from bench/latency-proxy.py, a relay inside the namespace that passes what
# each side sends on half the round trip later. Nothing of the machine's own network
# changes, and everything is removed at the end, failed or not.
#
#   bench/run-latency-bench.sh [BUILD_DIR]
#
# Needs root (ip netns, tc). Settings (environment):
#   RTTS          round trips in ms to measure, 0 for plain loopback   (default "0 1 20")
#   PRICES        changed prices                                        (default 100000)
#   APPENDS       appended items                                        (default 50000)
#   SINGLE_ROWS   rows of the cases that send a row a round trip, per RTT: "RTT:ROWS ..."
#                 (default "0:100000 1:5000 20:300"); a sample's rate is extrapolated
#   BATCHES       batch sizes compared on the batched import alone, on BATCH_ROWS prices
#                 (default "250 500 1000 2000", 20000)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
bench=$build/bench/import/bench_tds_import
kit=${DATACONV_SHARED_DIR:-$root/../shared}/tools/tds-server
RTTS=${RTTS:-"0 1 20"}
PRICES=${PRICES:-100000}
APPENDS=${APPENDS:-50000}
SINGLE_ROWS=${SINGLE_ROWS:-"0:100000 1:5000 20:300"}
BATCHES=${BATCHES:-"250 500 1000 2000"}
BATCH_ROWS=${BATCH_ROWS:-20000}

[ "$(id -u)" = 0 ] || { echo "run-latency-bench: needs root (ip netns, tc)" >&2; exit 2; }
[ -x "$bench" ] || { echo "run-latency-bench: build bench_tds_import first ($bench)" >&2; exit 2; }
[ -f "$kit/start-tds-server.sh" ] || { echo "run-latency-bench: no $kit/start-tds-server.sh" >&2; exit 2; }

ns=dataconv-bench-$$
dir=$(mktemp -d /tmp/dataconv-latency-tds.XXXXXX)
chmod go+x "$dir"
relay_pid=""
stop_relay() {
  if [ -n "$relay_pid" ]; then
    kill "$relay_pid" 2>/dev/null || true
    wait "$relay_pid" 2>/dev/null || true
  fi
  relay_pid=""
}
cleanup() {
  stop_relay
  bash "$kit/stop-tds-server.sh" "$dir" >/dev/null 2>&1 || true
  ip netns del "$ns" 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT

ip netns add "$ns"
in_ns() { ip netns exec "$ns" "$@"; }
in_ns ip link set lo up
# The server inside the namespace listens on the namespace's own 127.0.0.1.
env_text=$(in_ns bash "$kit/start-tds-server.sh" "$dir" 2>"$dir.start.log") || {
  echo "run-latency-bench: the TDS server did not start:" >&2
  tail -n 5 "$dir.start.log" >&2
  rm -f "$dir.start.log"
  exit 1
}
rm -f "$dir.start.log"
dsn=$(printf '%s\n' "$env_text" | sed -n 's/^TDS_ODBC="\(.*\)"$/\1/p')
port=$(printf '%s\n' "$env_text" | sed -n 's/^TDS_PORT=\([0-9]*\)$/\1/p')

# The round trip a client meets, in ms: five TDS logins' first exchange (the server
# answers a pre-login at once), timed from the namespace.
connect_rtt() {
  in_ns python3 - "$1" <<'PY'
import socket, struct, sys, time
port = int(sys.argv[1])
# A TDS pre-login packet: the version option alone.
body = bytes([0, 0, 6, 0, 6, 0xFF]) + bytes(6)
packet = struct.pack(">BBHHBB", 0x12, 1, 8 + len(body), 0, 0, 0) + body
times = []
for _ in range(5):
    s = socket.create_connection(("127.0.0.1", port))
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    start = time.monotonic()
    s.sendall(packet)
    s.recv(4096)
    times.append(time.monotonic() - start)
    s.close()
print("%.2f" % (1000 * min(times)))
PY
}

single_for() {
  local rtt=$1 pair
  for pair in $SINGLE_ROWS; do
    [ "${pair%%:*}" = "$rtt" ] && { echo "${pair#*:}"; return; }
  done
  echo 1000
}

# Whether this kernel has netem: tried on the namespace's loopback only.
netem=1
in_ns tc qdisc add dev lo root netem delay 1ms 2>/dev/null || netem=0
in_ns tc qdisc del dev lo root 2>/dev/null || true
[ "$netem" = 1 ] || echo "(no tc netem in this kernel: the round trip is added by bench/latency-proxy.py)"
relay_port=$((port + 1))

for rtt in $RTTS; do
  stop_relay
  in_ns tc qdisc del dev lo root 2>/dev/null || true
  target_port=$port
  if [ "$rtt" != 0 ] && [ "$netem" = 1 ]; then
    # Each packet crosses the loopback once each way: half the round trip a crossing.
    half=$(awk -v r="$rtt" 'BEGIN { printf "%dus", r * 500 }')
    in_ns tc qdisc add dev lo root netem delay "$half"
  elif [ "$rtt" != 0 ]; then
    # Not through in_ns: $! must be the relay itself (ip netns exec becomes it).
    ip netns exec "$ns" python3 "$root/bench/latency-proxy.py" "$relay_port" "$port" "$rtt" \
      >"$dir/relay.out" 2>&1 &
    relay_pid=$!
    for _ in $(seq 50); do grep -q ready "$dir/relay.out" 2>/dev/null && break; sleep 0.1; done
    grep -q ready "$dir/relay.out" || { echo "run-latency-bench: the relay did not start:" >&2; cat "$dir/relay.out" >&2; exit 1; }
    target_port=$relay_port
  fi
  run_dsn=${dsn/Port=$port;/Port=$target_port;}
  echo "== round trip ${rtt} ms added (a TCP exchange takes $(connect_rtt "$target_port") ms)"
  single=$(single_for "$rtt")
  in_ns "$bench" --dsn "$run_dsn" --prices "$PRICES" --appends "$APPENDS" --single-rows "$single"
  for b in $BATCHES; do
    printf 'batch %4s: ' "$b"
    in_ns "$bench" --dsn "$run_dsn" --prices "$BATCH_ROWS" --appends 0 --batch "$b" --only batched
  done
done
stop_relay
in_ns tc qdisc del dev lo root 2>/dev/null || true
