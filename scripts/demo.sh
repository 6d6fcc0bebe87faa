#!/usr/bin/env bash
# Builds the normal configuration and lets tsp-host play the telephony service against the built
# OMBIX.TSP, on a registry file of its own (kept under build/demo) that names a switch on this
# machine with two lines, phones 200 and 201. A switch-sim serves as that switch for the run (its
# phone 202 belongs to no line), on a loopback address of its own so that another switch on the
# machine's port 29051 does not stand in its way.
#
# The script's lines go to tsp-host one at a time, each given a moment, so that what the switch
# answers shows beside the command that caused it. A line "sim COMMAND" goes to the simulator
# instead (for example "sim answer 2 202": its phone 202 answers switch call 2).
set -euo pipefail
# A script is named from the caller's folder; the rest runs from the project's.
script=${1:-tools/tsp-host/demo.txt}
if [ $# -gt 0 ]; then script=$(realpath -- "$1"); fi
cd "$(dirname "$0")/.."
echo "building the provider and the tools (build/default)..."
cmake --preset default >/dev/null
# Only what the run needs, not the tests and benchmarks.
cmake --build --preset default -j "$(nproc)" \
  --target ombix_tsp tapi32 tsp-host switch-sim regtool switch-decode
mkdir -p build/demo
address=${DEMO_ADDRESS:-127.0.0.$((2 + $$ % 250))}
cat > build/demo/registry.reg <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Telephony\VOIP Service Provider (Z9410)\Device1]
"Lines"=dword:00000002
"IP1"="${address}"
"IP2"=""
"Line.0.Number"="200"
"Line.0.Password"="1234"
"Line.1.Number"="201"
"Line.1.Password"="1234"
REG
rm -f build/demo/sim.in
mkfifo build/demo/sim.in
# The switch's side of the protocol, traced, goes to a file.
build/default/tools/switch-sim/switch-sim --trace --address "$address" <build/demo/sim.in \
  >build/demo/switch-trace.txt 2>&1 &
sim=$!
exec 3>build/demo/sim.in
trap 'exec 3>&-; kill "$sim" 2>/dev/null || true; rm -f build/demo/sim.in' EXIT
pace=${DEMO_PACE:-0.3}
while IFS= read -r line || [ -n "$line" ]; do
  case "$line" in
    # A simulator that could not start (its port taken) hears nothing, and ends nothing here.
    sim\ *) (trap '' PIPE; echo "${line#sim }" >&3) 2>/dev/null || true ;;
    *) echo "$line" ;;
  esac
  sleep "$pace"
done <"$script" |
  build/default/tools/tsp-host/tsp-host --provider build/default/OMBIX.TSP \
    --registry build/demo/registry.reg --script /dev/stdin
echo "the switch's protocol trace: build/demo/switch-trace.txt"
