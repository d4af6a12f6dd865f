#!/usr/bin/env bash
# An LV2 plug-in in jalv.gtk3, as a user runs it: on a JACK server of its own (the dummy back end,
# no audio device, a name no other run uses), with a preset given by --preset, on the X display in
# DISPLAY (the Xvfb that tools/qm test starts). It passes when the plug-in's editor comes up
# embedded in jalv's window (a window of the editor's own inside it, mapped and of a non-zero
# size), jalv's control values are the preset's once it has run, and jalv quits cleanly when its
# window is closed. Everything it starts is ended when it ends, however it ends. It never skips.
#
#   tests/jalv_check.sh PROBE PLUGIN_URI PRESET_URI
#
# PROBE is the built tests/jalv_check_probe. The plug-in and the preset are looked up on LV2_PATH
# (or the usual folders), and the plug-in runs with its settings folder in a scratch folder.
set -euo pipefail

fail() {
  echo "jalv_check: $*" >&2
  exit 1
}

[ $# -eq 3 ] || { echo "usage: tests/jalv_check.sh PROBE PLUGIN_URI PRESET_URI" >&2; exit 2; }
probe="$1" uri="$2" preset="$3"
[ -x "$probe" ] || fail "no probe at $probe"
[ -n "${DISPLAY:-}" ] || fail "no X display (tools/qm test starts Xvfb and sets DISPLAY)"
for tool in jackd jack_wait jalv.gtk3 stdbuf; do
  command -v "$tool" >/dev/null || fail "$tool is missing (tools/qm deps installs it)"
done

work="$(mktemp -d)"
jackd_pid="" jalv_pid=""
# stop PID: asks the process to end, then ends it if it has not within two seconds.
stop() {
  local pid="$1"
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || return 0
  kill -TERM "$pid" 2>/dev/null || true
  for _ in $(seq 20); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
finish() {
  stop "$jalv_pid"
  stop "$jackd_pid"
  rm -rf "$work"
}
trap finish EXIT
trap 'exit 1' INT TERM

# The usual folders are found from HOME, which moves to the scratch folder below.
export LV2_PATH="${LV2_PATH:-$HOME/.lv2:/usr/local/lib/lv2:/usr/lib/lv2}"
export HOME="$work" XDG_CONFIG_HOME="$work/config"
export NO_AT_BRIDGE=1 # no accessibility bus to wait for
server="qm-jalv-$$-$RANDOM"
export JACK_DEFAULT_SERVER="$server" JACK_NO_START_SERVER=1

expected="$("$probe" preset-values "$uri" "$preset")" || fail "cannot read the preset (see above)"

jackd --no-realtime --name "$server" -d dummy -r 48000 -p 512 >"$work/jackd.log" 2>&1 &
jackd_pid=$!
if ! jack_wait --server "$server" --wait --timeout 20 >/dev/null 2>&1 || ! kill -0 "$jackd_pid" 2>/dev/null; then
  cat "$work/jackd.log" >&2
  fail "the JACK server $server did not start"
fi

# Line-buffered, so that what jalv printed before anything went wrong is there to show.
stdbuf -oL jalv.gtk3 --print-controls --preset "$preset" "$uri" >"$work/jalv.out" 2>"$work/jalv.err" &
jalv_pid=$!
show_jalv() {
  echo "--- jalv's output:" >&2
  cat "$work/jalv.out" "$work/jalv.err" >&2
}
if ! editor="$("$probe" embedded-window "$jalv_pid" 30)"; then
  show_jalv
  fail "no editor embedded in jalv's window"
fi

"$probe" close "$jalv_pid" || { show_jalv; fail "cannot close jalv's window"; }
for _ in $(seq 100); do
  kill -0 "$jalv_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$jalv_pid" 2>/dev/null; then
  show_jalv
  fail "jalv did not quit within 10 s of its window being closed"
fi
status=0
wait "$jalv_pid" || status=$?
jalv_pid=""
[ "$status" -eq 0 ] || { show_jalv; fail "jalv exited with status $status"; }

# The last value jalv printed for each of the preset's ports.
count=0
while read -r symbol _ value; do
  got="$(awk -v s="$symbol" '$1 == s && $2 == "=" { v = $3 } END { print v }' "$work/jalv.out")"
  [ "$got" = "$value" ] || { show_jalv; fail "$symbol is ${got:-not printed}, the preset $preset says $value"; }
  count=$((count + 1))
done <<<"$expected"

echo "jalv_check: $uri embedded in jalv.gtk3 (window $editor), preset $preset applied ($count values), jalv quit cleanly"
