#!/usr/bin/env bash
# Private sound servers for tests and trial runs, each in a folder of its own, with the same devices: two
# null sinks ("olvennar_system" the default output, "olvennar_mic") and the default input
# "olvennar_desk_mic", a source remapped over olvennar_mic's monitor, which opens, settles and is stamped like a
# desk microphone (a monitor itself is not). Nothing of the user's own session is read or touched.
#
# Sourced (scripts/test.sh does):
#   start_test_pulseaudio DIR   a PulseAudio daemon; its clients need XDG_RUNTIME_DIR=DIR and
#                               PULSE_RUNTIME_PATH=DIR/pulse (exported here)
#   start_test_pipewire DIR     pipewire, wireplumber and pipewire-pulse on a session bus of their own; a
#                               client reaches it with PULSE_SERVER=unix:DIR/pulse/native
#   stop_test_sound_servers DIR...   ends what the starts above left in those folders, by process id
# By hand:
#   bash scripts/sound-servers.sh pipewire DIR   starts it, prints the PULSE_SERVER line to export
#   bash scripts/sound-servers.sh pulseaudio DIR starts it, prints the lines to export
#   bash scripts/sound-servers.sh stop DIR       ends it (the folder stays, with the servers' logs)

# The devices, as pactl load-module arguments.
test_sound_devices=(
  "module-null-sink sink_name=olvennar_system rate=48000 sink_properties=device.description=Olvennar_System"
  "module-null-sink sink_name=olvennar_mic rate=48000 sink_properties=device.description=Olvennar_Mic"
  "module-remap-source source_name=olvennar_desk_mic master=olvennar_mic.monitor source_properties=device.description=Olvennar_Desk_Mic"
)

start_test_pulseaudio() {
  local dir=$1
  export XDG_RUNTIME_DIR="$dir"
  export PULSE_RUNTIME_PATH="$dir/pulse"
  export PULSE_STATE_PATH="$dir/pulse-state"
  mkdir -p "$PULSE_RUNTIME_PATH" "$PULSE_STATE_PATH"
  local loads=(--load="module-native-protocol-unix") device
  for device in "${test_sound_devices[@]}"; do loads+=(--load="$device"); done
  # -n: no configuration, so nothing but these devices (no sound cards, no stored choices, no suspending).
  pulseaudio --daemonize=yes --exit-idle-time=-1 --disallow-exit --system=false -n "${loads[@]}" \
    --load="module-always-sink" </dev/null >/dev/null 2>&1 || { echo "test: PulseAudio could not start; sound tests will skip"; return 0; }
  for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl set-default-sink olvennar_system >/dev/null 2>&1 || true
  pactl set-default-source olvennar_desk_mic >/dev/null 2>&1 || true
}

# Debian 12's desktop sound server, as installed, with three changes for tests: no sound cards, cameras or
# Bluetooth are looked for (as with PulseAudio's -n), and programs' volumes and outputs are not remembered
# from one stream to the next (one test moving a player must not place the next test's).
start_test_pipewire() {
  local dir=$1
  if ! command -v pipewire >/dev/null || ! command -v wireplumber >/dev/null || ! command -v pipewire-pulse >/dev/null ||
    ! command -v dbus-daemon >/dev/null; then
    echo "test: PipeWire is not installed; its sound tests will skip"
    return 1
  fi
  mkdir -p "$dir/state" "$dir/home" "$dir/config/wireplumber/main.lua.d" "$dir/config/wireplumber/bluetooth.lua.d"
  cat >"$dir/config/wireplumber/main.lua.d/60-olvennar-test.lua" <<'EOF'
alsa_monitor.enabled = false
v4l2_monitor.enabled = false
libcamera_monitor.enabled = false
stream_defaults.properties["restore-props"] = false
stream_defaults.properties["restore-target"] = false
EOF
  echo "bluez_monitor.enabled = false" >"$dir/config/wireplumber/bluetooth.lua.d/60-olvennar-test.lua"
  (
    # Only these processes see the folder as their runtime, state and home.
    export XDG_RUNTIME_DIR="$dir" XDG_STATE_HOME="$dir/state" XDG_CONFIG_HOME="$dir/config" HOME="$dir/home"
    unset PULSE_SERVER PULSE_RUNTIME_PATH PULSE_STATE_PATH PIPEWIRE_REMOTE PIPEWIRE_RUNTIME_DIR DISPLAY
    dbus-daemon --session --fork --nopidfile --print-address=3 --print-pid=4 3>"$dir/dbus.address" 4>"$dir/dbus.pid" </dev/null >/dev/null 2>&1 || exit 1
    DBUS_SESSION_BUS_ADDRESS=$(cat "$dir/dbus.address")
    export DBUS_SESSION_BUS_ADDRESS
    pipewire </dev/null >"$dir/pipewire.log" 2>&1 &
    echo $! >"$dir/pipewire.pid"
    for _ in $(seq 50); do [ -S "$dir/pipewire-0" ] && break; sleep 0.1; done
    wireplumber </dev/null >"$dir/wireplumber.log" 2>&1 &
    echo $! >"$dir/wireplumber.pid"
    pipewire-pulse </dev/null >"$dir/pipewire-pulse.log" 2>&1 &
    echo $! >"$dir/pipewire-pulse.pid"
  ) || { echo "test: PipeWire's session bus could not start; its sound tests will skip"; return 1; }
  local server="unix:$dir/pulse/native" device ok=""
  for _ in $(seq 100); do PULSE_SERVER=$server pactl info >/dev/null 2>&1 && ok=1 && break; sleep 0.1; done
  [ -n "$ok" ] || { echo "test: PipeWire's sound server could not start (see $dir/*.log); its sound tests will skip"; return 1; }
  for device in "${test_sound_devices[@]}"; do
    # shellcheck disable=SC2086
    PULSE_SERVER=$server pactl load-module $device >/dev/null || { echo "test: PipeWire refused $device"; return 1; }
  done
  # WirePlumber names the defaults a moment after they are asked for.
  for _ in $(seq 50); do
    PULSE_SERVER=$server pactl set-default-sink olvennar_system >/dev/null 2>&1
    PULSE_SERVER=$server pactl set-default-source olvennar_desk_mic >/dev/null 2>&1
    [ "$(PULSE_SERVER=$server pactl get-default-sink 2>/dev/null)" = olvennar_system ] &&
      [ "$(PULSE_SERVER=$server pactl get-default-source 2>/dev/null)" = olvennar_desk_mic ] && return 0
    sleep 0.1
  done
  echo "test: PipeWire did not take olvennar_system and olvennar_desk_mic as its defaults; its sound tests will skip"
  return 1
}

# Ends the servers started in these folders by their process ids; the folders stay (the caller owns them).
stop_test_sound_servers() {
  local dir file pid pids=()
  for dir in "$@"; do
    for file in pipewire-pulse.pid wireplumber.pid pipewire.pid dbus.pid pulse/pid; do
      pid=$(cat "$dir/$file" 2>/dev/null) || continue
      rm -f "$dir/$file"
      [ -n "$pid" ] && kill "$pid" 2>/dev/null && pids+=("$pid")
    done
  done
  # Each gets a moment to close its sockets and files; what is still there then is killed.
  for pid in ${pids[@]+"${pids[@]}"}; do
    for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
  done
  return 0
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  case "${1:-}" in
    pipewire)
      mkdir -p "$2"
      dir=$(cd "$2" && pwd)
      start_test_pipewire "$dir"
      echo "export PULSE_SERVER=unix:$dir/pulse/native"
      ;;
    pulseaudio)
      mkdir -p "$2"
      dir=$(cd "$2" && pwd)
      start_test_pulseaudio "$dir"
      echo "export XDG_RUNTIME_DIR=$dir PULSE_RUNTIME_PATH=$dir/pulse"
      ;;
    stop) stop_test_sound_servers "$(cd "$2" && pwd)" ;;
    *)
      echo "usage: $0 pipewire|pulseaudio|stop DIR" >&2
      exit 2
      ;;
  esac
fi
