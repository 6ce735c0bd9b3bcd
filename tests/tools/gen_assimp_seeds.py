#!/usr/bin/env python3
"""Writes the seed files of the Assimp formats into tests/data/assimp/: small shapes in every
format the tests read through Assimp, the files the mutation test (tests/assimp_mutations.sh)
starts from. Run once; the files are kept in the repository.
    python3 tests/tools/gen_assimp_seeds.py tests/data/assimp
"""
import struct
import sys

out = sys.argv[1]

# A unit cube: eight corners, six quads (outward), and its twelve triangles.
V = [(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0), (0, 0, 1), (1, 0, 1), (1, 1, 1), (0, 1, 1)]
Q = [(0, 3, 2, 1), (0, 1, 5, 4), (1, 2, 6, 5), (2, 3, 7, 6), (3, 0, 4, 7), (4, 5, 6, 7)]
T = [t for q in Q for t in ((q[0], q[1], q[2]), (q[0], q[2], q[3]))]


def num(x):
    return f"{x:g}"


with open(f"{out}/cube.obj", "w", newline="\n") as f:
    f.write("# a unit cube of six quads in two groups\n")
    for v in V:
        f.write("v " + " ".join(num(c) for c in v) + "\n")
    f.write("g bottom_and_top\n")
    for q in (Q[0], Q[5]):
        f.write("f " + " ".join(str(i + 1) for i in q) + "\n")
    f.write("g sides\n")
    for q in Q[1:5]:
        f.write("f " + " ".join(str(i + 1) for i in q) + "\n")

with open(f"{out}/cube_ascii.stl", "w", newline="\n") as f:
    f.write("solid cube\n")
    for t in T:
        f.write(" facet normal 0 0 0\n  outer loop\n")
        for i in t:
            f.write("   vertex " + " ".join(num(c) for c in V[i]) + "\n")
        f.write("  endloop\n endfacet\n")
    f.write("endsolid cube\n")

with open(f"{out}/cube_binary.stl", "wb") as f:
    f.write(b"binary cube".ljust(80, b" "))
    f.write(struct.pack("<I", len(T)))
    for t in T:
        f.write(struct.pack("<3f", 0, 0, 0))
        for i in t:
            f.write(struct.pack("<3f", *V[i]))
        f.write(struct.pack("<H", 0))


def ply_header(fmt):
    return (f"ply\nformat {fmt} 1.0\ncomment a unit cube\nelement vertex {len(V)}\n"
            "property float x\nproperty float y\nproperty float z\n"
            f"element face {len(Q)}\nproperty list uchar int vertex_indices\nend_header\n")


with open(f"{out}/cube_ascii.ply", "w", newline="\n") as f:
    f.write(ply_header("ascii"))
    for v in V:
        f.write(" ".join(num(c) for c in v) + "\n")
    for q in Q:
        f.write("4 " + " ".join(str(i) for i in q) + "\n")

with open(f"{out}/cube_binary.ply", "wb") as f:
    f.write(ply_header("binary_little_endian").encode())
    for v in V:
        f.write(struct.pack("<3f", *v))
    for q in Q:
        f.write(struct.pack("<B4i", 4, *q))

with open(f"{out}/cube.off", "w", newline="\n") as f:
    f.write(f"OFF\n{len(V)} {len(Q)} 0\n")
    for v in V:
        f.write(" ".join(num(c) for c in v) + "\n")
    for q in Q:
        f.write("4 " + " ".join(str(i) for i in q) + "\n")

# One quad, placed by its node ten units along X.
with open(f"{out}/quad_moved.dae", "w", newline="\n") as f:
    f.write(
        '<?xml version="1.0"?>\n'
        '<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">\n'
        '<library_geometries><geometry id="quad-mesh"><mesh>\n'
        '<source id="pos"><float_array id="xyz" count="12">0 0 0 1 0 0 1 1 0 0 1 0</float_array>\n'
        '<technique_common><accessor source="#xyz" count="4" stride="3">'
        '<param name="X" type="float"/><param name="Y" type="float"/>'
        '<param name="Z" type="float"/></accessor></technique_common></source>\n'
        '<vertices id="verts"><input semantic="POSITION" source="#pos"/></vertices>\n'
        '<polylist count="1"><input semantic="VERTEX" source="#verts" offset="0"/>'
        '<vcount>4</vcount><p>0 1 2 3</p></polylist></mesh></geometry></library_geometries>\n'
        '<library_visual_scenes><visual_scene id="scene"><node id="moved" name="moved">'
        '<translate>10 0 0</translate><instance_geometry url="#quad-mesh"/></node>'
        '</visual_scene></library_visual_scenes>\n'
        '<scene><instance_visual_scene url="#scene"/></scene></COLLADA>\n')
