#!/usr/bin/env bash
# Builds the normal configuration and lets tsp-host play the telephony service against the built
# OMBIX.TSP, on a registry file of its own (kept under build/demo) that names a switch on this
# machine with two lines, phones 200 and 201. A switch-sim serves as that switch for the run (its
# phone 202 belongs to no line).
#
# The switch-sim listens on a loopback address of this user's and this run's own (127.U.P.P, from
# the user ID and the process ID), so that no other switch on this machine stands in its way and
# the run never talks to a switch it did not start. DEMO_ADDRESS chooses another address. When
# the simulator cannot listen there, the run stops with its error and a non-zero status.
#
# The script's lines go to tsp-host one at a time, DEMO_PACE seconds apart (0.3; a wait follows
# its request at once), so that what the switch answers shows beside the command that caused it.
# tsp-host prints each command and each '#' comment as it runs them. A line "sim COMMAND" goes
# to the simulator instead (for example "sim answer 2 202": its phone 202 answers switch call 2),
# at its turn in the script: once tsp-host has run every line before it; it is shown as
# "sim> COMMAND".
#
# A step of the story fails when tsp-host refuses its line or the provider answers it with an
# error, at once or in its completion, and a "sim" line fails when the simulator refuses it (its
# answer is shown as "sim: error: ..."). The story goes on to its end, where the provider is shut
# down as the script says; the run then ends non-zero, naming the failed steps (the script's line
# and what it got) at the end of its output.
#
# DEMO_BUILD names a build folder to use as it is (nothing is built); the run's files then go to
# its demo folder.
set -euo pipefail
# A script and DEMO_BUILD are named from the caller's folder; the rest runs from the project's.
script=${1:-tools/tsp-host/demo.txt}
if [ $# -gt 0 ]; then script=$(realpath -- "$1"); fi
build=${DEMO_BUILD:+$(realpath -- "$DEMO_BUILD")}
cd "$(dirname "$0")/.."
if [ ! -f "$script" ] || [ ! -r "$script" ]; then
  echo "demo: cannot read the script $script" >&2
  exit 1
fi
if [ -n "$build" ]; then
  work=$build/demo
else
  echo "building the provider and the tools (build/default)..."
  cmake --preset default >/dev/null
  # Only what the run needs, not the tests and benchmarks.
  cmake --build --preset default -j "$(nproc)" \
    --target ombix_tsp tapi32 tsp-host switch-sim regtool switch-decode
  build=build/default
  work=build/demo
fi
mkdir -p "$work"
uid=$(id -u)
address=${DEMO_ADDRESS:-127.$((1 + uid % 250)).$((($$ >> 8) % 256)).$((2 + $$ % 250))}
cat >"$work/registry.reg" <<REG
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
rm -f "$work/sim.in"
mkfifo "$work/sim.in"
# The switch's side of the protocol, traced, goes to a file; so do its log (every datagram) and
# its errors.
"$build/tools/switch-sim/switch-sim" --trace --verbose --address "$address" <"$work/sim.in" \
  >"$work/switch-trace.txt" 2>&1 &
sim=$!
exec 3>"$work/sim.in"
trap 'exec 3>&-; kill "$sim" 2>/dev/null || true; rm -f "$work/sim.in"' EXIT

# Until the simulator listens, or ends because it cannot: at once when healthy, though a
# sanitizer build on a busy machine may take seconds to start (a minute at most).
for _ in $(seq 1200); do
  if grep -qs "listening on" "$work/switch-trace.txt" || ! kill -0 "$sim" 2>/dev/null; then break; fi
  sleep 0.05
done
if ! grep -qs "listening on" "$work/switch-trace.txt"; then
  if kill -0 "$sim" 2>/dev/null; then
    echo "demo: switch-sim has not started listening on $address within a minute; try again" >&2
    exit 1
  fi
  status=1
  wait "$sim" || status=$?
  echo "demo: switch-sim cannot serve on $address:" >&2
  grep -v "^ *$" "$work/switch-trace.txt" | sed 's/^/  /' >&2 || true
  echo "demo: choose another loopback address, e.g. DEMO_ADDRESS=127.0.0.$((2 + RANDOM % 250)) $0" >&2
  exit "$status"
fi
echo "$(grep -m1 "listening on" "$work/switch-trace.txt") (DEMO_ADDRESS chooses another address)"

trace=$work/switch-trace.txt
failures=$work/failed-steps.txt
: >"$failures"

# The simulator's answer to a command given when its trace file held $1 bytes: the first whole
# line after them that is no dump and no log line. Fails while none has come.
sim_answer() {
  local line
  while IFS= read -r line; do
    case "$line" in
      "" | [[:space:]]* | "switch-sim: "* | [0-9][0-9]:[0-9][0-9]:[0-9][0-9]:\ *) ;;
      *)
        printf '%s\n' "$line"
        return 0
        ;;
    esac
  done < <(tail -c "+$(($1 + 1))" "$trace")
  return 1
}

# Hands a "sim" line's command to the simulator and shows its refusal. The simulator answers
# every command at once, but for a comment, an empty line and a "wait MS", which it takes in
# silence (a wait holds the answers after it back: a minute at most is waited for one).
sim_command() {
  local command=$1 before answer words
  before=$(stat -c %s "$trace")
  # A simulator that ended hears nothing, and ends nothing here.
  if ! (trap '' PIPE; echo "$command" >&3) 2>/dev/null; then
    printf 'sim %s\tswitch-sim has ended\n' "$command" >>"$failures"
    return
  fi
  read -r -a words <<<"$command" || true
  if [ ${#words[@]} -eq 0 ] || [[ ${words[0]} == \#* ]] ||
    [[ ${#words[@]} -eq 2 && ${words[0]} == wait && ${words[1]} =~ ^[0-9]{1,9}$ ]]; then
    return
  fi
  for _ in $(seq 1200); do
    if answer=$(sim_answer "$before"); then break; fi
    if ! kill -0 "$sim" 2>/dev/null; then
      answer="error: switch-sim has ended"
      break
    fi
    answer="error: switch-sim gave no answer within a minute"
    sleep 0.05
  done
  case "$answer" in
    "error: "*)
      printf 'sim: %s\n' "$answer"
      printf 'sim %s\t%s\n' "$command" "$answer" >>"$failures"
      ;;
  esac
}

pace=${DEMO_PACE:-0.3}
set +e
while IFS= read -r line || [ -n "$line" ]; do
  case "$line" in
    # Right after the request before it, so that it waits for that request's completion.
    wait | wait\ *) ;;
    *) sleep "$pace" ;;
  esac
  case "$line" in
    # tsp-host prints it as a comment at its turn; the reader below hands it to the simulator.
    sim\ *) echo "# sim> ${line#sim }" ;;
    *) echo "$line" ;;
  esac
done <"$script" |
  "$build/tools/tsp-host/tsp-host" --provider "$build/OMBIX.TSP" \
    --registry "$work/registry.reg" --script /dev/stdin |
  (
    set -e
    step=""
    declare -A requests=()
    while IFS= read -r out || [ -n "$out" ]; do
      case "$out" in
        "# sim> "*)
          printf 'sim> %s\n' "${out#"# sim> "}"
          sim_command "${out#"# sim> "}"
          continue
          ;;
      esac
      printf '%s\n' "$out"
      # Which step each line is of: a completion is of the step that made its request.
      case "$out" in
        "> "*) step=${out#> } ;;
        *"(request "*")"*)
          [[ $out =~ \(request\ ([0-9]+)\) ]] && requests[${BASH_REMATCH[1]}]=$step
          ;;
      esac
      # tsp-host's refusals, and any negative result as it prints one.
      case "$out" in
        "error: "* | *LINEERR_[A-Z]* | *PHONEERR_[A-Z]* | *"code known by this value)"* | \
          *"not a TAPI error code)"*)
          failed=$step
          if [[ $out =~ ^completion\ request\ ([0-9]+): ]]; then
            failed=${requests[${BASH_REMATCH[1]}]:-$step}
          fi
          printf '%s\t%s\n' "$failed" "${out#"${out%%[![:space:]]*}"}" >>"$failures"
          ;;
      esac
    done
  )
statuses=("${PIPESTATUS[@]}")
set -e
echo "the switch's protocol trace: $trace"

# tsp-host's own status counts too: it fails a line it refuses, a dialog script's failure, a
# signal (128 and more) and a crash.
status=${statuses[1]}
if [ "$status" -eq 0 ]; then status=${statuses[2]}; fi
if [ "$status" -eq 0 ] && [ -s "$failures" ]; then status=1; fi
if [ "$status" -ne 0 ] && [ "$status" -lt 128 ] && [ ! -s "$failures" ]; then
  printf 'tsp-host\tended with status %s\n' "$status" >>"$failures"
fi
if [ -s "$failures" ]; then
  echo "demo: these steps of the story failed:" >&2
  while IFS=$'\t' read -r failed got; do
    echo "  ${failed:-(before the first command)}: $got" >&2
  done <"$failures"
fi
exit "$status"
