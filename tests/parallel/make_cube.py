#!/usr/bin/env python3
"""Writes an n^3-hex unit cube (points jittered inside, random-ish point and cell fields from a
fixed seed) as an ASCII .vtu, the serial reference of the parallel tests."""
import random
import sys

out, n, seed = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rng = random.Random(seed)
pts = []
for k in range(n + 1):
    for j in range(n + 1):
        for i in range(n + 1):
            p = [i / n, j / n, k / n]
            # Inner points move a little, so that no cut is aligned with the cells.
            for a, idx in enumerate((i, j, k)):
                if 0 < idx < n:
                    p[a] += rng.uniform(-0.2, 0.2) / n
            pts.append(p)
pid = lambda i, j, k: i + (n + 1) * (j + (n + 1) * k)
cells = []
for k in range(n):
    for j in range(n):
        for i in range(n):
            cells.append([pid(i, j, k), pid(i + 1, j, k), pid(i + 1, j + 1, k), pid(i, j + 1, k),
                          pid(i, j, k + 1), pid(i + 1, j, k + 1), pid(i + 1, j + 1, k + 1), pid(i, j + 1, k + 1)])
p = [1 + 2 * x - y + 3 * z * z + rng.uniform(-0.1, 0.1) for x, y, z in pts]
u = [(y + rng.uniform(-0.1, 0.1), -x, 0.5 + z) for x, y, z in pts]
t = [rng.uniform(280, 320) for _ in cells]
with open(out, "w") as f:
    f.write('<?xml version="1.0"?>\n<VTKFile type="UnstructuredGrid" version="1.0" byte_order="LittleEndian">\n')
    f.write('<UnstructuredGrid>\n<Piece NumberOfPoints="%d" NumberOfCells="%d">\n' % (len(pts), len(cells)))
    f.write('<PointData>\n<DataArray type="Float32" Name="p" format="ascii">\n')
    f.write(" ".join("%.9g" % v for v in p) + "\n</DataArray>\n")
    f.write('<DataArray type="Float32" Name="U" NumberOfComponents="3" format="ascii">\n')
    f.write(" ".join("%.9g %.9g %.9g" % v for v in u) + "\n</DataArray>\n</PointData>\n")
    f.write('<CellData>\n<DataArray type="Float32" Name="T" format="ascii">\n')
    f.write(" ".join("%.9g" % v for v in t) + "\n</DataArray>\n</CellData>\n")
    f.write('<Points>\n<DataArray type="Float32" NumberOfComponents="3" format="ascii">\n')
    f.write("\n".join("%.9g %.9g %.9g" % tuple(q) for q in pts) + "\n</DataArray>\n</Points>\n")
    f.write('<Cells>\n<DataArray type="Int64" Name="connectivity" format="ascii">\n')
    f.write("\n".join(" ".join(map(str, c)) for c in cells) + "\n</DataArray>\n")
    f.write('<DataArray type="Int64" Name="offsets" format="ascii">\n')
    f.write(" ".join(str(8 * (c + 1)) for c in range(len(cells))) + "\n</DataArray>\n")
    f.write('<DataArray type="UInt8" Name="types" format="ascii">\n')
    f.write(" ".join("12" for _ in cells) + "\n</DataArray>\n</Cells>\n</Piece>\n</UnstructuredGrid>\n</VTKFile>\n")
