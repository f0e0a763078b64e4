#!/usr/bin/env bash
# Installs what is missing, builds, then runs every test under a private X server and a private
# PulseAudio daemon with two null sinks ("olvennar_system" as the default output, and "olvennar_mic" under
# the default input "olvennar_desk_mic": a source remapped over its monitor, which opens, settles and is
# stamped like a desk microphone; a monitor itself is not). Both are stopped when the tests end.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh

runtime=$(mktemp -d /tmp/olvennar-test-run-XXXXXX)
export XDG_RUNTIME_DIR="$runtime"
export PULSE_RUNTIME_PATH="$runtime/pulse"
export PULSE_STATE_PATH="$runtime/pulse-state"
mkdir -p "$PULSE_RUNTIME_PATH" "$PULSE_STATE_PATH"
cleanup() {
  pulseaudio --kill >/dev/null 2>&1 || true
  # The daemon may still be writing its files while it exits: retry, and never let tidying up decide the
  # run's verdict (a failing command here would exit with its status under set -e).
  for _ in $(seq 30); do rm -rf "$runtime" 2>/dev/null && break; sleep 0.1; done
  true
}
trap cleanup EXIT

pulseaudio --daemonize=yes --exit-idle-time=-1 --disallow-exit --system=false -n \
  --load="module-native-protocol-unix" \
  --load="module-null-sink sink_name=olvennar_system rate=48000 sink_properties=device.description=Olvennar_System" \
  --load="module-null-sink sink_name=olvennar_mic rate=48000 sink_properties=device.description=Olvennar_Mic" \
  --load="module-remap-source source_name=olvennar_desk_mic master=olvennar_mic.monitor source_properties=device.description=Olvennar_Desk_Mic" \
  --load="module-always-sink" >/dev/null 2>&1 || echo "test: PulseAudio could not start; sound tests will skip"
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl set-default-sink olvennar_system >/dev/null 2>&1 || true
pactl set-default-source olvennar_desk_mic >/dev/null 2>&1 || true

cd build
# A test that measures real time gets one more run if a busy machine made it miss (--repeat until-pass:2).
# -noreset: the server must not reset whenever the last test client disconnects, or a test starting at that
# moment finds no display.
xvfb-run -a -s "-screen 0 1280x720x24 -noreset +extension MIT-SHM +extension Composite +extension RANDR" \
  ctest --output-on-failure --parallel "$(nproc)" --repeat until-pass:2 "$@"
