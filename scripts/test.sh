#!/usr/bin/env bash
# Installs what is missing, builds, then runs every test under a private X server and a private PulseAudio
# daemon, and, where PipeWire is installed, a private PipeWire session beside it on which the system sound's
# tests run a second time ("pipewire.<test>"). Both servers have the same devices (scripts/sound-servers.sh)
# and are stopped when the tests end.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
source scripts/sound-servers.sh

runtime=$(mktemp -d /tmp/olvennar-test-run-XXXXXX)
cleanup() {
  stop_test_sound_servers "$runtime" "$runtime/pipewire"
  # A server may still be writing its files while it exits: retry, and never let tidying up decide the
  # run's verdict (a failing command here would exit with its status under set -e).
  for _ in $(seq 30); do rm -rf "$runtime" 2>/dev/null && break; sleep 0.1; done
  true
}
trap cleanup EXIT
# An interrupted run tidies up too.
trap 'exit 130' INT
trap 'exit 143' TERM

start_test_pulseaudio "$runtime"
unset OLVENNAR_PIPEWIRE_SERVER
mkdir -p "$runtime/pipewire"
if start_test_pipewire "$runtime/pipewire"; then
  export OLVENNAR_PIPEWIRE_SERVER="unix:$runtime/pipewire/pulse/native"
fi

cd build
# A test that measures real time gets one more run if a busy machine made it miss (--repeat until-pass:2).
# -noreset: the server must not reset whenever the last test client disconnects, or a test starting at that
# moment finds no display.
xvfb-run -a -s "-screen 0 1280x720x24 -noreset +extension MIT-SHM +extension Composite +extension RANDR" \
  ctest --output-on-failure --parallel "$(nproc)" --repeat until-pass:2 "$@"
