#!/usr/bin/env python3
"""Case loading side by side: zelpost's load against VTK's reader and surface filter, same file.

The case: 100 x 100 x 100 hexahedra of the unit cube (1,000,000 cells, 1,030,301 points) with
the point arrays p = 1 + 2x + 3y - z and U = (y, -x, z/2), written by VTK's own XML writer
(vtkXMLUnstructuredGridWriter, appended data, base64, no compressor: 136 MB). Beside it the
same case as a foamToVTK-style multiblock: cube_1.vtm referencing cube_1/internal.vtu (the same
volume) and six patches cube_1/boundary/<patch>.vtp, each with its own points, the point
arrays and a cell array p.

  VTK     vtkXMLUnstructuredGridReader.Update() then vtkDataSetSurfaceFilter.Update() inside
          this process (interpreter start-up and imports excluded); for the .vtm
          vtkXMLMultiBlockDataReader then the surface filter on the volume block; the best of
          --repeat runs
  zelpost the same file, `zelpost FILE EMPTY_SESSION --timings` as a child process: its wall
          time (start-up and exit included), the load phases it prints and its peak resident
          memory (Maximum resident set size of /usr/bin/time)

Needs VTK 9 for Python and numpy (Debian: python3-vtk9 python3-numpy; run with the system python).
The runs alternate (VTK, zelpost .vtu, zelpost .vtm, again) so that both see the same machine;
the best of --repeat of each is compared.
Usage:  taskset -c 1 /usr/bin/python3 bench/case_load_reference.py --zelpost build/ci/bin/zelpost
        [--dir /tmp/zel_case_load] [--repeat 3]
The files are written once into --dir and reused.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

import numpy as np
import vtk
from vtk.util import numpy_support as nps

N = 100
PATCHES = ["inlet", "outlet", "wall_ymin", "wall_ymax", "wall_zmin", "wall_zmax"]


def node_id(i, j, k):
    return (k * (N + 1) + j) * (N + 1) + i


def make_volume():
    ax = np.arange(N + 1, dtype=np.float32) / N
    z, y, x = np.meshgrid(ax, ax, ax, indexing="ij")
    pts = np.stack([x.ravel(), y.ravel(), z.ravel()], axis=1).astype(np.float32)
    k, j, i = np.meshgrid(np.arange(N), np.arange(N), np.arange(N), indexing="ij")
    i, j, k = i.ravel(), j.ravel(), k.ravel()
    hexes = np.stack([node_id(i, j, k), node_id(i + 1, j, k), node_id(i + 1, j + 1, k), node_id(i, j + 1, k),
                      node_id(i, j, k + 1), node_id(i + 1, j, k + 1), node_id(i + 1, j + 1, k + 1),
                      node_id(i, j + 1, k + 1)], axis=1).astype(np.int64)
    grid = vtk.vtkUnstructuredGrid()
    points = vtk.vtkPoints()
    points.SetData(nps.numpy_to_vtk(pts, deep=True))
    grid.SetPoints(points)
    cells = vtk.vtkCellArray()
    offsets = np.arange(0, 8 * hexes.shape[0] + 1, 8, dtype=np.int64)
    cells.SetData(nps.numpy_to_vtkIdTypeArray(offsets, deep=True),
                  nps.numpy_to_vtkIdTypeArray(hexes.ravel(), deep=True))
    grid.SetCells(vtk.VTK_HEXAHEDRON, cells)
    add_point_fields(grid, pts)
    return grid


def add_point_fields(data, pts):
    x, y, z = pts[:, 0], pts[:, 1], pts[:, 2]
    p = nps.numpy_to_vtk((1 + 2 * x + 3 * y - z).astype(np.float32), deep=True)
    p.SetName("p")
    data.GetPointData().AddArray(p)
    u = nps.numpy_to_vtk(np.stack([y, -x, 0.5 * z], axis=1).astype(np.float32), deep=True)
    u.SetName("U")
    data.GetPointData().AddArray(u)


def make_patch(index):
    """One side of the cube as quads with their own points, outward normals."""
    axis, high = index // 2, index % 2 == 1
    a = np.arange(N + 1, dtype=np.float32) / N
    s, t = np.meshgrid(a, a, indexing="ij")
    fixed = np.full(s.size, 1.0 if high else 0.0, dtype=np.float32)
    u_ax, v_ax = [(1, 2), (2, 0), (0, 1)][axis]
    pts = np.zeros((s.size, 3), dtype=np.float32)
    pts[:, axis], pts[:, u_ax], pts[:, v_ax] = fixed, s.ravel(), t.ravel()
    si, ti = np.meshgrid(np.arange(N), np.arange(N), indexing="ij")
    si, ti = si.ravel(), ti.ravel()

    def pid(a_, b_):
        return a_ * (N + 1) + b_

    quads = np.stack([pid(si, ti), pid(si + 1, ti), pid(si + 1, ti + 1), pid(si, ti + 1)], axis=1)
    if not high:
        quads = quads[:, ::-1]  # (u, v, axis) is right-handed: reversed on the low side
    poly = vtk.vtkPolyData()
    points = vtk.vtkPoints()
    points.SetData(nps.numpy_to_vtk(pts, deep=True))
    poly.SetPoints(points)
    cells = vtk.vtkCellArray()
    cells.SetData(nps.numpy_to_vtkIdTypeArray(np.arange(0, 4 * quads.shape[0] + 1, 4, dtype=np.int64), deep=True),
                  nps.numpy_to_vtkIdTypeArray(np.ascontiguousarray(quads).ravel().astype(np.int64), deep=True))
    poly.SetPolys(cells)
    add_point_fields(poly, pts)
    centres = pts[quads].mean(axis=1)
    pc = nps.numpy_to_vtk((1 + 2 * centres[:, 0] + 3 * centres[:, 1] - centres[:, 2]).astype(np.float32), deep=True)
    pc.SetName("p")
    poly.GetCellData().AddArray(pc)
    return poly


def write_xml(writer, data, path):
    writer.SetInputData(data)
    writer.SetFileName(path)
    writer.SetDataModeToAppended()
    writer.EncodeAppendedDataOn()
    writer.SetCompressorTypeToNone()
    if writer.Write() != 1:
        sys.exit(f"cannot write {path}")


def write_case(folder):
    vtu = os.path.join(folder, "cube.vtu")
    vtm = os.path.join(folder, "cube_1.vtm")
    if os.path.exists(vtu) and os.path.exists(vtm):
        return vtu, vtm
    os.makedirs(os.path.join(folder, "cube_1", "boundary"), exist_ok=True)
    grid = make_volume()
    write_xml(vtk.vtkXMLUnstructuredGridWriter(), grid, vtu)
    write_xml(vtk.vtkXMLUnstructuredGridWriter(), grid, os.path.join(folder, "cube_1", "internal.vtu"))
    for index, name in enumerate(PATCHES):
        write_xml(vtk.vtkXMLPolyDataWriter(), make_patch(index), os.path.join(folder, "cube_1", "boundary", name + ".vtp"))
    with open(vtm, "w") as f:
        f.write("<?xml version='1.0'?>\n<VTKFile type='vtkMultiBlockDataSet' version='1.0' "
                "byte_order='LittleEndian' header_type='UInt64'>\n  <vtkMultiBlockDataSet>\n"
                "    <DataSet name='internal' file='cube_1/internal.vtu' />\n    <Block name='boundary'>\n")
        for name in PATCHES:
            f.write(f"      <DataSet name='{name}' file='cube_1/boundary/{name}.vtp' />\n")
        f.write("    </Block>\n  </vtkMultiBlockDataSet>\n</VTKFile>\n")
    return vtu, vtm


def case_bytes(vtm):
    folder = os.path.join(os.path.dirname(vtm), "cube_1")
    total = os.path.getsize(vtm)
    for root, _, files in os.walk(folder):
        total += sum(os.path.getsize(os.path.join(root, f)) for f in files)
    return total


def time_vtk(path):
    """(reader seconds, surface filter seconds, boundary faces) of one read of `path`: a .vtu by
    vtkXMLUnstructuredGridReader; a .vtm by vtkXMLMultiBlockDataReader (the volume and its
    patches), the surface filter then on the volume, as zelpost finds the volume's free faces
    beside the patches."""
    multiblock = path.endswith(".vtm")
    reader = vtk.vtkXMLMultiBlockDataReader() if multiblock else vtk.vtkXMLUnstructuredGridReader()
    reader.SetFileName(path)
    t0 = time.perf_counter()
    reader.Update()
    t1 = time.perf_counter()
    surface = vtk.vtkDataSetSurfaceFilter()
    surface.SetInputData(reader.GetOutput().GetBlock(0) if multiblock else reader.GetOutput())
    surface.Update()
    t2 = time.perf_counter()
    return t1 - t0, t2 - t1, surface.GetOutput().GetNumberOfCells()


def run_zelpost(zelpost, case, session):
    """(wall seconds, stderr, peak RSS in bytes) of `zelpost case session --timings`.

    The peak comes from /usr/bin/time, zelpost's parent: a child forked from this process
    would count this process's pages (VTK's data) in its own maximum resident set.
    """
    with tempfile.TemporaryFile("w+") as out, tempfile.TemporaryFile("w+") as err, \
            tempfile.NamedTemporaryFile("r") as peak:
        t0 = time.perf_counter()
        proc = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", peak.name, zelpost, case, session, "--timings"],
                              stdout=out, stderr=err)
        wall = time.perf_counter() - t0
        out.seek(0)
        err.seek(0)
        text = err.read()
        if proc.returncode != 0:
            sys.exit(f"zelpost failed:\n{out.read()}\n{text}")
        kilobytes = int(peak.read().split()[-1])
    return wall, text, kilobytes * 1024


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--zelpost", help="the zelpost executable (without it only VTK is timed)")
    ap.add_argument("--dir", default="/tmp/zel_case_load")
    ap.add_argument("--repeat", type=int, default=3)
    args = ap.parse_args()

    vtu, vtm = write_case(args.dir)
    size_vtu, size_vtm = os.path.getsize(vtu), case_bytes(vtm)
    print(f"{vtu}: {size_vtu / 1e6:.1f} MB; {vtm} with its files: {size_vtm / 1e6:.1f} MB")

    session = os.path.join(args.dir, "empty.zel")
    open(session, "w").close()
    best_vtk, best = {}, {}
    for _ in range(args.repeat):
        for case in (vtu, vtm):
            run = time_vtk(case)
            if case not in best_vtk or run[0] + run[1] < best_vtk[case][0] + best_vtk[case][1]:
                best_vtk[case] = run
        if args.zelpost:
            for case in (vtu, vtm):
                result = run_zelpost(args.zelpost, case, session)
                if case not in best or result[0] < best[case][0]:
                    best[case] = result
    t_vtk = {}
    for case in (vtu, vtm):
        t_read, t_surface, faces = best_vtk[case]
        t_vtk[case] = t_read + t_surface
        print(f"VTK {vtk.vtkVersion.GetVTKVersion()} {os.path.basename(case)}: reader {t_read:.3f} s + surface "
              f"filter {t_surface:.3f} s ({faces} faces) = {t_vtk[case]:.3f} s  (best of {args.repeat})")
    for case, size in ((vtu, size_vtu), (vtm, size_vtm)):
        if case not in best:
            continue
        wall, timings, peak = best[case]
        print(f"zelpost {os.path.basename(case)}: {wall:.3f} s wall (whole process, best of {args.repeat}), "
              f"peak RSS {peak / 1e6:.1f} MB = {peak / size:.2f} x the case's {size / 1e6:.1f} MB")
        for line in timings.splitlines():
            print("    " + line)
        print(f"  ratio zelpost / VTK (same file): {wall / t_vtk[case]:.2f}")


if __name__ == "__main__":
    main()
