#!/usr/bin/env bash
# Installs what is missing, builds, and starts the studio on $DISPLAY.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
exec ./build/Olvennar/olvennar "$@"
