#!/usr/bin/env python3
"""Writes an N x N grid of unit quads on the plane z = 0 for the benchmark scripts.

  quad_grid.py N DIR [dxf]

DIR/grid.obj holds the grid as one OBJ group "grid"; with "dxf", DIR/grid.dxf holds the same
quads as 3DFACE entities on layer "grid".
"""
import sys

n, work = int(sys.argv[1]), sys.argv[2]
with open(f"{work}/grid.obj", "w") as obj:
    obj.write("g grid\n")
    for y in range(n + 1):
        obj.write("".join(f"v {x} {y} 0\n" for x in range(n + 1)))
    for y in range(n):
        row = []
        for x in range(n):
            a = y * (n + 1) + x + 1
            row.append(f"f {a} {a + 1} {a + n + 2} {a + n + 1}\n")
        obj.write("".join(row))
if sys.argv[3:] == ["dxf"]:
    with open(f"{work}/grid.dxf", "w") as dxf:
        dxf.write("0\nSECTION\n2\nENTITIES\n")
        for y in range(n):
            dxf.write("".join(
                f"0\n3DFACE\n8\ngrid\n10\n{x}\n20\n{y}\n30\n0\n11\n{x + 1}\n21\n{y}\n31\n0\n"
                f"12\n{x + 1}\n22\n{y + 1}\n32\n0\n13\n{x}\n23\n{y + 1}\n33\n0\n"
                for x in range(n)))
        dxf.write("0\nENDSEC\n0\nEOF\n")
