#!/usr/bin/env bash
# Builds, then writes the main window's and the short windows' pictures into docs/ under a private X server.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
xvfb-run -a -s "-screen 0 1920x1080x24" build/tools/olvennar_screenshots "$PWD/docs" "$PWD/tests/data/portrait-astronaut.png"
