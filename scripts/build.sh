#!/usr/bin/env bash
# Configures and builds into build/ (Ninja, ccache when present).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# AUTOMOC does not notice a newly globbed Q_OBJECT header on incremental builds; a fresh scan is cheap.
find build -path '*_autogen/timestamp' -delete 2>/dev/null || true
cmake --build build --parallel "$(nproc)"
