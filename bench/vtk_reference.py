#!/usr/bin/env python3
"""VTK's figures for the queries of bench_geometry_search, on the same mesh.

The mesh: 100 x 100 x 100 hexahedra of the unit cube sheared by x += 0.1 y (1,000,000
cells, 1,030,301 points), with the point field x + 2y + 3z.
  locate   vtkProbeFilter with a vtkStaticCellLocator (index build included) of 1,000,000
           random points (u + 0.1 v, v, w), u, v, w uniform in [0, 1), interpolating the field
  cut      vtkCutter with the plane through (0.5, 0.5, 0.5), normal (0.3, 0.4, 0.866)

Needs VTK 9 for Python (Debian: apt-get install python3-vtk9; then run with the system
python, /usr/bin/python3) and numpy. Only for measuring: nothing in the build depends on it.
Run it on one core, as the benchmark runs:  taskset -c 0 /usr/bin/python3 bench/vtk_reference.py
Wall and CPU times are printed: on a loaded machine compare CPU times with the benchmark's.
"""
import time

import numpy as np
import vtk
from vtk.util import numpy_support as nps

N = 100


def make_mesh():
    ax = np.arange(N + 1, dtype=np.float32) / N
    z, y, x = np.meshgrid(ax, ax, ax, indexing="ij")
    pts = np.stack([(x + 0.1 * y).ravel(), y.ravel(), z.ravel()], axis=1).astype(np.float32)
    i, j, k = np.meshgrid(np.arange(N), np.arange(N), np.arange(N), indexing="ij")
    i, j, k = i.transpose(2, 1, 0).ravel(), j.transpose(2, 1, 0).ravel(), k.transpose(2, 1, 0).ravel()

    def nid(a, b, c):
        return (c * (N + 1) + b) * (N + 1) + a

    hexes = np.stack([nid(i, j, k), nid(i + 1, j, k), nid(i + 1, j + 1, k), nid(i, j + 1, k),
                      nid(i, j, k + 1), nid(i + 1, j, k + 1), nid(i + 1, j + 1, k + 1), nid(i, j + 1, k + 1)],
                     axis=1).astype(np.int64)
    cells = np.hstack([np.full((hexes.shape[0], 1), 8, dtype=np.int64), hexes]).ravel()
    grid = vtk.vtkUnstructuredGrid()
    points = vtk.vtkPoints()
    points.SetData(nps.numpy_to_vtk(pts, deep=True))
    grid.SetPoints(points)
    ca = vtk.vtkCellArray()
    ca.SetCells(hexes.shape[0], nps.numpy_to_vtkIdTypeArray(cells, deep=True))
    grid.SetCells(vtk.VTK_HEXAHEDRON, ca)
    field = nps.numpy_to_vtk((pts[:, 0] + 2 * pts[:, 1] + 3 * pts[:, 2]).astype(np.float32), deep=True)
    field.SetName("f")
    grid.GetPointData().SetScalars(field)
    return grid


def main():
    grid = make_mesh()
    print(f"mesh: {grid.GetNumberOfCells()} cells, {grid.GetNumberOfPoints()} points")

    rng = np.random.default_rng(12345)
    u = rng.random((1000000, 3), dtype=np.float32)
    probe_pts = np.stack([u[:, 0] + 0.1 * u[:, 1], u[:, 1], u[:, 2]], axis=1).astype(np.float32)
    pd = vtk.vtkPolyData()
    pp = vtk.vtkPoints()
    pp.SetData(nps.numpy_to_vtk(probe_pts, deep=True))
    pd.SetPoints(pp)

    probe = vtk.vtkProbeFilter()
    probe.SetInputData(pd)
    probe.SetSourceData(grid)
    probe.SetCellLocatorPrototype(vtk.vtkStaticCellLocator())
    t0, c0 = time.perf_counter(), time.process_time()
    probe.Update()
    t_locate, c_locate = time.perf_counter() - t0, time.process_time() - c0
    out = probe.GetOutput()
    valid = nps.vtk_to_numpy(out.GetPointData().GetArray(probe.GetValidPointMaskArrayName()))
    values = nps.vtk_to_numpy(out.GetPointData().GetArray("f"))
    print(f"locate: {t_locate:.3f} s (cpu {c_locate:.3f} s), located {int(valid.sum())}, mean value {values[valid > 0].mean():.5f}")

    plane = vtk.vtkPlane()
    plane.SetOrigin(0.5, 0.5, 0.5)
    plane.SetNormal(0.3, 0.4, 0.866)
    cutter = vtk.vtkCutter()
    cutter.SetInputData(grid)
    cutter.SetCutFunction(plane)
    t0, c0 = time.perf_counter(), time.process_time()
    cutter.Update()
    t_cut, c_cut = time.perf_counter() - t0, time.process_time() - c0
    cut = cutter.GetOutput()
    tri = vtk.vtkTriangleFilter()
    tri.SetInputData(cut)
    tri.Update()
    mass = vtk.vtkMassProperties()
    mass.SetInputData(tri.GetOutput())
    mass.Update()
    print(f"cut: {t_cut:.4f} s (cpu {c_cut:.4f} s), {cut.GetNumberOfPolys()} polygons, {cut.GetNumberOfPoints()} points, "
          f"area {mass.GetSurfaceArea():.6f}")


if __name__ == "__main__":
    main()
