#!/usr/bin/env python3
"""folder-circles.py PROJECT: folder-level include graph of Olvennar/ (first folder level; each platform/* and views/* folder on its own); prints the
cycles between folders and exits 1 when there is any."""
import os, re, sys, itertools
root = os.path.join(sys.argv[1], "Olvennar")
def folder(path):
    parts = os.path.relpath(path, root).split(os.sep)
    if parts[0] in ("platform", "views") and len(parts) > 2: return parts[0] + "/" + parts[1]
    return parts[0] if len(parts) > 1 else "."
edges = {}
for dirpath, _, files in os.walk(root):
    for f in files:
        if not f.endswith((".h", ".cpp", ".hpp")): continue
        p = os.path.join(dirpath, f); a = folder(p)
        for line in open(p, errors="replace"):
            m = re.match(r'\s*#\s*include\s+"([^"]+)"', line)
            if not m: continue
            target = os.path.join(root, m.group(1))
            if not os.path.exists(target): continue
            b = folder(target)
            if a != b: edges.setdefault(a, set()).add(b)
nodes = sorted(set(edges) | {b for v in edges.values() for b in v})
reach = {n: set(edges.get(n, ())) for n in nodes}
changed = True
while changed:
    changed = False
    for n in nodes:
        new = set().union(*[reach[m] for m in reach[n]]) if reach[n] else set()
        if not new <= reach[n]: reach[n] |= new; changed = True
pairs = sorted({tuple(sorted((a, b))) for a in nodes for b in reach[a] if a != b and a in reach.get(b, ())})
print(f"{len(nodes)} folders, {sum(len(v) for v in edges.values())} folder arrows, {len(pairs)} folder pairs in circles" +
      (": " + ", ".join(f"{a}<->{b}" for a, b in pairs) if pairs else ""))
sys.exit(1 if pairs else 0)
