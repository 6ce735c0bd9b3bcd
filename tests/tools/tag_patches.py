#!/usr/bin/env python3
"""Compares Zevrin's patches with the patch lists of the modeller's tag-format model files.

For every <MODEL> of every file given (a file of two models gives two meshes, each on its
own: their point ids overlap), the mesh's splines are written as a bracketed version-5 model,
`zevrin export` turns that into an OBJ file, and the OBJ faces are compared with the file's
PATCHES list. Patches and faces are compared as cycles of distinct corner positions, up to
rotation and reversal; the turning is counted apart. Patches of five corners are left out
(no loop of five is a patch for the finder).

    python3 tests/tools/tag_patches.py --zevrin build/default/bin/zevrin \\
        /work/shared/corpus/am-tag/*.mdl [--keep DIR] [--goal] [--list]

--keep DIR keeps the converted models and OBJ files there; --list prints every missed and
extra loop; --goal exits 1 unless at least 99.5 % of the listed patches are matched and at
most 0.5 % of the faces are extra.
"""

import argparse
import os
import struct
import subprocess
import sys
import tempfile

HOOK_PARAM_BITS = 0x10 | 0x1000
# In a tag file 0x80 marks a segment; in a bracketed file 0x80 and 0x80000000 make a hooked
# point slide along its spline. A tag file's hook already lies on its target.
BRACKET_HOOK_BITS = 0x80 | 0x80000000
LOOP_BIT = 0x4


class Mesh:
    def __init__(self, name):
        self.name = name
        self.splines = []  # lists of points: dicts
        self.patches = []  # lists of corner ids (3 to 5), and whether of five corners
        self.points = {}


def parse_point(words):
    flags = int(words[0])
    attached = int(words[1])
    pid = int(words[2])
    i = 3
    t = None
    if flags & HOOK_PARAM_BITS and len(words) > 3:
        # A hook: "flags 1 id t target", no bias fields.
        t = words[3]
        i = 4
    point = {"flags": flags, "attached": attached, "id": pid, "t": t}
    if attached:
        point["target"] = int(words[i])
        i += 1
    else:
        point["xyz"] = words[i:i + 3]
        i += 3
    biases = []
    while i < len(words) and len(biases) < 2:
        if words[i] == ".":
            biases.append(None)
            i += 1
        else:
            biases.append(words[i:i + 3])
            i += 3
    while len(biases) < 2:
        biases.append(None)
    point["in"], point["out"] = biases
    return point


def read_tag_file(path):
    with open(path, "rb") as f:
        lines = f.read().decode("latin-1").splitlines()
    meshes = []
    stack = []
    mesh = None
    spline = None
    for line in lines:
        if line.startswith("</"):
            tag = line[2:-1]
            if stack and stack[-1] == tag:
                stack.pop()
            if tag == "SPLINE" and spline is not None:
                mesh.splines.append(spline)
                spline = None
            elif tag == "MESH":
                mesh = None
            continue
        if line.startswith("<") and line.endswith(">") and " " not in line:
            tag = line[1:-1]
            stack.append(tag)
            if tag == "MESH" and stack[-2:-1] == ["MODEL"]:
                mesh = Mesh("%s#%d" % (os.path.basename(path), len(meshes) + 1))
                meshes.append(mesh)
            elif tag == "SPLINE" and mesh is not None and stack[-2] == "MESH":
                spline = []
            continue
        if line.startswith("<"):  # a typed property: "<BOOL> Hidden"
            tag = line[1:line.index(">")]
            stack.append(tag)
            continue
        if mesh is None or not stack:
            continue
        if stack[-1] == "SPLINE" and spline is not None:
            p = parse_point(line.split())
            spline.append(p)
            mesh.points[p["id"]] = p
        elif stack[-1] == "PATCHES" and stack[-2] == "MESH":
            words = [int(w) for w in line.split()]
            flags = words[0]
            n = 5 if flags & 1 else 4
            mesh.patches.append((words[1:1 + n], n == 5))
    return meshes


def position(mesh, pid):
    seen = set()
    p = mesh.points[pid]
    while p["attached"]:
        if p["id"] in seen:
            raise ValueError("ring of attachments at %d" % pid)
        seen.add(p["id"])
        p = mesh.points[p["target"]]
    return tuple(p["xyz"])


def as_float(xyz):
    return tuple(struct.unpack("f", struct.pack("f", float(w)))[0] + 0.0 for w in xyz)


def write_bracketed(mesh, path):
    out = ["[MODELFILE]", "ProductVersion=5.0", "[MODEL]", "Name=" + mesh.name]
    xs = [[float(w) for w in position(mesh, pid)] for pid in mesh.points] or [[0, 0, 0]]
    lo = [min(p[k] for p in xs) for k in range(3)]
    hi = [max(p[k] for p in xs) for k in range(3)]
    corners = []
    for x in (hi[0], lo[0]):
        for y, z in ((hi[1], hi[2]), (hi[1], lo[2]), (lo[1], lo[2]), (lo[1], hi[2])):
            corners += [x, y, z]
    out.append("Bounds=" + " ".join("%.9g" % c for c in corners))
    out += ["[MESH]", "Version=2", "Splines=%d" % len(mesh.splines)]
    for spline in mesh.splines:
        out.append("CPs=%d" % len(spline))
        for p in spline:
            flags = p["flags"] & ~BRACKET_HOOK_BITS & 0xFFFFFFFF
            head = "%d %d %d" % (flags, p["attached"], p["id"])
            if flags & HOOK_PARAM_BITS:
                head += " " + (p["t"] if p["t"] is not None else "0")
            out.append(head)
            out.append(str(p["target"]) if p["attached"] else " ".join(p["xyz"]))
            for bias in (p["in"], p["out"]):
                out.append("0" if bias is None else " ".join(bias))
    out += ["[ENDMESH]", "[ENDMODEL]", "[ENDMODELFILE]"]
    with open(path, "w", newline="\r\n") as f:
        f.write("\n".join(out) + "\n")


def read_obj(path):
    vertices, faces = [], []
    if not os.path.exists(path):
        return faces
    with open(path) as f:
        for line in f:
            words = line.split()
            if not words:
                continue
            if words[0] == "v":
                vertices.append(as_float(words[1:4]))
            elif words[0] == "f":
                faces.append([vertices[int(w.split("/")[0]) - 1] for w in words[1:]])
    return faces


def distinct_cycle(corners):
    """The corners with repeats next to each other (cyclically) dropped."""
    out = []
    for c in corners:
        if not out or out[-1] != c:
            out.append(c)
    while len(out) > 1 and out[0] == out[-1]:
        out.pop()
    return out


def key_of(cycle):
    """The same for every rotation and both turnings, and which turning this one is."""
    n = len(cycle)
    best = None
    for turned in (False, True):
        c = list(reversed(cycle)) if turned else list(cycle)
        for r in range(n):
            rot = tuple(c[r:] + c[:r])
            if best is None or rot < best[0]:
                best = (rot, turned)
    return best


class Tally:
    FIELDS = ("listed3", "listed4", "faces3", "faces4", "matched3", "matched4", "missed3",
              "missed4", "extra3", "extra4", "same_turn", "degenerate", "five")

    def __init__(self):
        for f in self.FIELDS:
            setattr(self, f, 0)

    def add(self, other):
        for f in self.FIELDS:
            setattr(self, f, getattr(self, f) + getattr(other, f))


def compare(mesh, faces, listing):
    t = Tally()
    listed = {}
    for ids, five in mesh.patches:
        if five:
            t.five += 1
            continue
        cycle = distinct_cycle([as_float(position(mesh, pid)) for pid in ids])
        if len(cycle) < 3 or len(set(cycle)) != len(cycle):
            t.degenerate += 1
            continue
        key, turned = key_of(cycle)
        listed.setdefault(key, []).append(turned)
    found = {}
    for face in faces:
        cycle = distinct_cycle(face)
        key, turned = key_of(cycle)
        found.setdefault(key, []).append(turned)
    for key, turns in listed.items():
        n = len(key)
        setattr(t, "listed%d" % n, getattr(t, "listed%d" % n) + len(turns))
        if key in found:
            setattr(t, "matched%d" % n, getattr(t, "matched%d" % n) + len(turns))
            t.same_turn += sum(1 for a in turns if a == found[key][0])
        else:
            setattr(t, "missed%d" % n, getattr(t, "missed%d" % n) + len(turns))
            if listing:
                print("  missed %s" % (key,))
    for key, turns in found.items():
        n = len(key)
        if n not in (3, 4):
            continue
        setattr(t, "faces%d" % n, getattr(t, "faces%d" % n) + len(turns))
        if key not in listed:
            setattr(t, "extra%d" % n, getattr(t, "extra%d" % n) + len(turns))
            if listing:
                print("  extra  %s" % (key,))
    return t


def row(name, t):
    listed = t.listed3 + t.listed4
    matched = t.matched3 + t.matched4
    faces = t.faces3 + t.faces4
    extra = t.extra3 + t.extra4
    return "%-22s %6d %6d %6d %6d %6d %6d %6d %6d %6d %6d %7d" % (
        name, t.listed3, t.listed4, t.faces3, t.faces4, t.matched3, t.matched4,
        t.missed3 + t.missed4, t.extra3, t.extra4, t.same_turn, faces) + (
        "  %6.2f%% %5.2f%%" % (100.0 * matched / listed if listed else 100.0,
                               100.0 * extra / faces if faces else 0.0))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("files", nargs="+")
    parser.add_argument("--zevrin", default="build/default/bin/zevrin")
    parser.add_argument("--keep", help="folder for the converted models and OBJ files")
    parser.add_argument("--list", action="store_true", help="print every missed and extra loop")
    parser.add_argument("--goal", action="store_true",
                        help="exit 1 unless 99.5 %% are matched and 0.5 %% at most are extra")
    args = parser.parse_args()

    work = args.keep or tempfile.mkdtemp(prefix="tag_patches_")
    os.makedirs(work, exist_ok=True)
    print("%-22s %6s %6s %6s %6s %6s %6s %6s %6s %6s %6s %7s  %7s %6s" % (
        "file", "lst3", "lst4", "fac3", "fac4", "mat3", "mat4", "missed", "ext3", "ext4",
        "turn", "faces", "matched", "extra"))
    total = Tally()
    for path in args.files:
        for mesh in read_tag_file(path):
            if not mesh.points:
                continue
            stem = os.path.join(work, mesh.name.replace("#", "_").replace(".mdl", ""))
            write_bracketed(mesh, stem + ".mdl")
            if os.path.exists(stem + ".obj"):
                os.remove(stem + ".obj")
            run = subprocess.run([args.zevrin, "-q", "--lang", "en", "export", stem + ".mdl",
                                  "-o", stem + ".obj"], capture_output=True, text=True)
            if run.returncode != 0:
                print("%s: zevrin export failed: %s" % (mesh.name, run.stderr.strip()),
                      file=sys.stderr)
                return 2
            if args.list:
                print(mesh.name)
            t = compare(mesh, read_obj(stem + ".obj"), args.list)
            total.add(t)
            print(row(mesh.name, t))
    print(row("total", total))
    print("(lst: the modeller's patches of 3 and 4 corners; fac: Zevrin's faces; mat: matched;"
          " turn: matched and turned the same way; %d five-corner and %d degenerate patches"
          " left out)" % (total.five, total.degenerate))
    if not args.keep:
        for name in os.listdir(work):
            os.remove(os.path.join(work, name))
        os.rmdir(work)
    if args.goal:
        listed = total.listed3 + total.listed4
        faces = total.faces3 + total.faces4
        matched = total.matched3 + total.matched4
        extra = total.extra3 + total.extra4
        if matched < 0.995 * listed or extra > 0.005 * faces:
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
