#!/usr/bin/env bash
# Configures and builds into build/ (Ninja, ccache when present). OLVENNAR_BUILD_TYPE picks the CMake build
# type (RelWithDebInfo unless set; CI uses Release to build faster). OLVENNAR_JOBS caps parallel compiles.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="${OLVENNAR_BUILD_TYPE:-RelWithDebInfo}" >/dev/null
# AUTOMOC does not notice a newly globbed Q_OBJECT header on incremental builds; a fresh scan is cheap.
find build -path '*_autogen/timestamp' -delete 2>/dev/null || true
cmake --build build --parallel "${OLVENNAR_JOBS:-$(nproc)}"
