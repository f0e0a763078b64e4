#!/usr/bin/env bash
# Prints the layer targets (layer: folders -> the layer it links), checks the thread map in docs/threads.md
# against them and the sources, and checks that no two source folders include each other. Exits 1 on a problem.
# With a build folder as its argument (as the test suite runs it) it reads that build's layer table instead of
# configuring build/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
if [ $# -eq 0 ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="${OLVENNAR_BUILD_TYPE:-RelWithDebInfo}" >/dev/null
fi
echo "layers, bottom first (target: folders -> links):"
sed 's/^/  /' "$build/layers.txt"
export OLVENNAR_LAYERS_FILE="$build/layers.txt"
python3 - <<'PY'
import os, re, sys
layer_of = {}
for line in open(os.environ["OLVENNAR_LAYERS_FILE"]):
    target, rest = line.split(":", 1)
    for folder in rest.split("->")[0].split():
        layer_of[folder] = target.removeprefix("olvennar_")
def folder_layer(path):
    parts = path.split("/")
    return layer_of.get("/".join(parts[:2])) or layer_of.get(parts[0])
problems = []
rows = [line for line in open("docs/threads.md") if line.startswith("| ") and not line.startswith("| Thread")]
for row in rows:
    cells = [c.strip() for c in row.strip().strip("|").split("|")]
    owner, header, layer = cells[1], cells[2], cells[3]
    if not os.path.isfile("Olvennar/" + header):
        problems.append(f"threads.md: {header} does not exist"); continue
    if not re.search(rf"\b(class|struct|namespace)\s+{owner}\b", open("Olvennar/" + header).read()):
        problems.append(f"threads.md: {owner} is not declared in {header}")
    if folder_layer(header) != layer:
        problems.append(f"threads.md: {header} is in layer {folder_layer(header)}, the page says {layer}")
page = open("docs/threads.md").read()
for dirpath, _, files in os.walk("Olvennar"):
    for name in files:
        text = open(os.path.join(dirpath, name), errors="replace").read()
        for label in re.findall(r'(?:DispatchQueue\w*\s*\w*\s*[({]|DispatchQueue>\(|Feed>\()\s*"([^"]+)"', text):
            if f"`{label}`" not in page:
                problems.append(f"threads.md: queue {label} ({name}) is missing")
print(f"thread map: {len(rows)} rows checked")
for p in problems: print("  " + p)
sys.exit(1 if problems else 0)
PY
python3 scripts/folder-circles.py .
