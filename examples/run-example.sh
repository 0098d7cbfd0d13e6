#!/usr/bin/env bash
# run-example.sh ZAPL "SIMULATOR [OPTIONS]" EXPECTED EXAMPLE [ARGS...]
# Starts `ZAPL simulate SIMULATOR [OPTIONS]`, runs EXAMPLE [ARGS...] with the simulator's
# pseudo-terminal as its last argument, stops the simulator, and passes when the example exits 0
# and printed a line matching the extended regular expression EXPECTED.
set -u
zapl="$1"
read -r -a simulator <<<"$2"
expected="$3"
shift 3
work="$(mktemp -d)"
simulator_pid=""
cleanup() {
  if [ -n "$simulator_pid" ]; then
    kill "$simulator_pid" 2>/dev/null
    wait "$simulator_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

"$zapl" simulate "${simulator[@]}" >"$work/simulator" 2>&1 &
simulator_pid=$!
# The simulator's first line is its pseudo-terminal; allow a slow start on a loaded machine.
port=""
for _ in $(seq 200); do
  if [ "$(wc -l <"$work/simulator")" -gt 0 ]; then
    port="$(head -n 1 "$work/simulator")"
    break
  fi
  kill -0 "$simulator_pid" 2>/dev/null || break
  sleep 0.1
done
if [ ! -e "$port" ]; then
  echo "run-example: the simulator gave no pseudo-terminal:" >&2
  cat "$work/simulator" >&2
  exit 1
fi

"$@" "$port" >"$work/example" 2>&1
status=$?
cat "$work/example"
if [ "$status" -ne 0 ]; then
  echo "run-example: $(basename "$1") exited with $status" >&2
  exit 1
fi
if ! grep -Eq -- "$expected" "$work/example"; then
  echo "run-example: no line matches '$expected'" >&2
  exit 1
fi
