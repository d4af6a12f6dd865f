#!/usr/bin/env bash
# CPU cost of QuillonMini next to a peer plate reverb, Dragonfly Plate Reverb (Debian's
# dragonfly-reverb-vst): 60 s of stereo white noise at 48000 Hz rendered through each plug-in by
# quillon-render (single precision, blocks of 512 frames, each plug-in's default program, no tail).
# Only the time inside the plug-ins' processing calls counts. Prints, per plug-in, the median over
# several runs of the CPU seconds per second of audio, and the median ratio of the two over runs
# made in turns.
#
#   bench/peer_cpu.sh [RUNS]        RUNS per plug-in, default 5
#
# It installs the peer when missing (tools/qm bench-deps) and builds the project (tools/qm build)
# first. Set QM_BUILD_DIR to measure an existing build folder as it is instead.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${1:-5}"
seconds=60
rate=48000
block=512
peer=/usr/lib/lxvst/DragonflyPlateReverb-vst.so

say() { printf '\033[1m== %s\033[0m\n' "$*" >&2; }
fail() { echo "peer_cpu: $*" >&2; exit 1; }

[[ "$runs" =~ ^[1-9][0-9]*$ ]] || fail "RUNS must be a positive whole number, got '$runs'"

"$root/tools/qm" bench-deps
[ -f "$peer" ] || fail "dragonfly-reverb-vst did not install $peer"

if [ -n "${QM_BUILD_DIR:-}" ]; then
  build_dir="$QM_BUILD_DIR"
else
  "$root/tools/qm" build >&2
  build_dir="$root/build"
fi
render="$build_dir/tools/quillon-render"
quillon="$build_dir/QuillonMini.so"
[ -x "$render" ] || fail "no renderer at $render"
[ -f "$quillon" ] || fail "no plug-in at $quillon"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# The plug-ins run with their settings folders in the scratch folder, not the user's.
export XDG_CONFIG_HOME="$work/config" HOME="$work"

"$render" --make-noise "$seconds" --demo-rate "$rate" -o "$work/noise.wav" -q

# cpu_of PLUGIN: one render's CPU seconds per second of audio.
cpu_of() {
  local plugin="$1" line
  # quillon-render reports: "cpu: C s in processing for A s of audio, realtime factor ..."
  line="$("$render" "$work/noise.wav" -o "$work/out.wav" --plugin "$plugin" --block "$block" --tail 0 2>&1 |
    grep '^cpu: ')" || fail "no CPU figure from rendering through $plugin"
  awk '{ printf "%.9f", $2 / $7 }' <<<"$line"
}

median() {
  sort -g | awk '{ v[NR] = $1 } END { printf "%.9f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# The two plug-ins take turns, and the ratio is the median of the ratios of each pair of
# neighbouring runs: a shared machine's speed drifts over minutes, which a ratio of runs made
# seconds apart cancels where a ratio of separate medians would not.
say "rendering ${seconds} s of noise at ${rate} Hz, blocks of ${block}, single precision, ${runs} runs each"
ours=() theirs=() ratios=()
for ((i = 1; i <= runs; i++)); do
  ours+=("$(cpu_of "$quillon")")
  theirs+=("$(cpu_of "$peer")")
  ratios+=("$(awk -v a="${ours[-1]}" -v b="${theirs[-1]}" 'BEGIN { printf "%.9f", a / b }')")
done

cpu="$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//' || true)"
echo "CPU: ${cpu:-unknown}; ${seconds} s of stereo noise at ${rate} Hz, block ${block}, single precision, median of ${runs} runs"
awk -v ours="$(printf '%s\n' "${ours[@]}" | median)" -v theirs="$(printf '%s\n' "${theirs[@]}" | median)" \
  -v ratio="$(printf '%s\n' "${ratios[@]}" | median)" 'BEGIN {
  printf "%-24s %.6f CPU s per s of audio (%.0fx realtime)\n", "QuillonMini", ours, 1 / ours
  printf "%-24s %.6f CPU s per s of audio (%.0fx realtime)\n", "Dragonfly Plate Reverb", theirs, 1 / theirs
  printf "ratio QuillonMini / Dragonfly Plate: %.3f (median over the pairs of runs)\n", ratio
}'
