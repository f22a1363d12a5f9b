#!/usr/bin/env python3
"""Writes the VTK test files of this folder: one small mesh in every encoding the case readers
support, so that the tests can check that all of them give the same points, cells and arrays.

    python3 make_vtk_files.py            # the files written by this script (standard library only)
    python3 make_vtk_files.py --vtk      # also the vtk9_* files, written by VTK's own writers
    python3 make_vtk_files.py --check    # reads every file back with VTK and compares

--vtk and --check need the VTK Python module (Debian: python3-vtk9); the generated files are
committed, so the tests never need it.

The meshes:
  mixed   4 cells, one of each volume type (hexahedron, wedge, pyramid, tetrahedron), 12 points.
          point data: p = 1 + 2x + 3y - z, U = (y, -x, z/2), t_<Type> = point index - 5 (unsigned:
          point index) in every scalar type; cell data: cellId = 0..3 (Int32), T = 300.25 + 10 c.
  patch   poly data with a vertex, a line, a poly-line, a triangle, a quad, a pentagon and a
          triangle strip of 5 points; point data h = x + 10 y, cell data id = cell index.
  case_1  a foamToVTK-like multiblock: internal.vtu (the mixed mesh) + boundary/inlet.vtp,
          boundary/outlet.vtp, TimeValue 0.5.
"""
import base64
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# --------------------------------------------------------------------------------------------
# The meshes

POINTS = [
    (0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0), (0, 0, 1), (1, 0, 1), (1, 1, 1), (0, 1, 1),
    (2, 0, 0), (2, 0, 1), (0.5, 0.5, 1.5), (1.5, 0.5, 1.5),
]
CELLS = [
    (12, [0, 1, 2, 3, 4, 5, 6, 7]),   # hexahedron: the unit cube
    (13, [1, 2, 8, 5, 6, 9]),         # wedge beside it in +x
    (14, [4, 5, 6, 7, 10]),           # pyramid on top of the cube
    (10, [5, 6, 10, 11]),             # tetrahedron against the pyramid
]
TYPES = ['Int8', 'UInt8', 'Int16', 'UInt16', 'Int32', 'UInt32', 'Int64', 'UInt64', 'Float32', 'Float64']


def p_of(x, y, z):
    return 1 + 2 * x + 3 * y - z


def u_of(x, y, z):
    return (y, -x, 0.5 * z)


def typed_values(t, n):
    return [i if t.startswith('U') else i - 5 for i in range(n)]


def mixed_arrays(points_type='Float64', conn_type='Int64', offs_type='Int64', field_type='Float32'):
    """(section, name, type, components, values) of the mixed mesh."""
    arrays = [('Points', 'Points', points_type, 3, [c for p in POINTS for c in p])]
    conn = [i for _, pts in CELLS for i in pts]
    offs = []
    for _, pts in CELLS:
        offs.append((offs[-1] if offs else 0) + len(pts))
    arrays += [('Cells', 'connectivity', conn_type, 1, conn), ('Cells', 'offsets', offs_type, 1, offs),
               ('Cells', 'types', 'UInt8', 1, [t for t, _ in CELLS])]
    arrays.append(('PointData', 'p', field_type, 1, [p_of(*p) for p in POINTS]))
    arrays.append(('PointData', 'U', field_type, 3, [c for p in POINTS for c in u_of(*p)]))
    for t in TYPES:
        arrays.append(('PointData', 't_' + t, t, 1, typed_values(t, len(POINTS))))
    arrays.append(('CellData', 'cellId', 'Int32', 1, list(range(len(CELLS)))))
    arrays.append(('CellData', 'T', 'Float64', 1, [300.25 + 10 * c for c in range(len(CELLS))]))
    return arrays


PATCH_POINTS = [
    (0, 0, 0), (1, 0, 0), (2, 0, 0), (0, 1, 0), (1, 1, 0), (2, 1, 0), (0, 2, 0), (1, 2, 0), (2, 2, 0),
    (3, 1, 0), (3, 2, 0), (1.5, 2.5, 0), (0, 3, 0), (0, 4, 0), (1, 3, 0), (1, 4, 0), (2, 3, 0),
]
PATCH_VERTS = [[9]]
PATCH_LINES = [[0, 1], [6, 7, 8]]
PATCH_POLYS = [[0, 1, 4], [1, 2, 5, 4], [4, 5, 8, 11, 7]]
PATCH_STRIPS = [[12, 13, 14, 15, 16]]


def cell_section(cells, conn_type='Int32', offs_type='Int32'):
    conn = [i for c in cells for i in c]
    offs = []
    for c in cells:
        offs.append((offs[-1] if offs else 0) + len(c))
    return conn, offs


def patch_arrays(conn_type='Int32'):
    arrays = [('Points', 'Points', 'Float32', 3, [c for p in PATCH_POINTS for c in p])]
    for section, cells in (('Verts', PATCH_VERTS), ('Lines', PATCH_LINES), ('Polys', PATCH_POLYS),
                           ('Strips', PATCH_STRIPS)):
        conn, offs = cell_section(cells)
        arrays += [(section, 'connectivity', conn_type, 1, conn), (section, 'offsets', conn_type, 1, offs)]
    arrays.append(('PointData', 'h', 'Float32', 1, [x + 10 * y for x, y, _ in PATCH_POINTS]))
    n = len(PATCH_VERTS) + len(PATCH_LINES) + len(PATCH_POLYS) + len(PATCH_STRIPS)
    arrays.append(('CellData', 'id', 'Int32', 1, list(range(n))))
    return arrays


def face_patch_arrays(face):
    """A boundary patch of one quad face of the mixed mesh, with its own point numbering."""
    pts = [POINTS[i] for i in face]
    return [('Points', 'Points', 'Float32', 3, [c for p in pts for c in p]),
            ('Polys', 'connectivity', 'Int32', 1, [0, 1, 2, 3]), ('Polys', 'offsets', 'Int32', 1, [4]),
            ('PointData', 'p', 'Float32', 1, [p_of(*p) for p in pts]),
            ('PointData', 'U', 'Float32', 3, [c for p in pts for c in u_of(*p)]),
            ('CellData', 'p', 'Float32', 1, [sum(p_of(*p) for p in pts) / 4])]


# --------------------------------------------------------------------------------------------
# VTK XML

FMT = {'Int8': 'b', 'UInt8': 'B', 'Int16': 'h', 'UInt16': 'H', 'Int32': 'i', 'UInt32': 'I',
       'Int64': 'q', 'UInt64': 'Q', 'Float32': 'f', 'Float64': 'd'}


def pack(values, vtype, big):
    return struct.pack(('>' if big else '<') + FMT[vtype] * len(values), *values)


class Encoding:
    def __init__(self, mode, header='UInt32', compress=False, big=False, block=48, split_header=False):
        self.mode = mode            # ascii, binary (inline base64), raw or base64 (appended)
        self.header = header        # UInt32 or UInt64
        self.compress = compress    # vtkZLibDataCompressor, in blocks of `block` bytes
        self.big = big
        self.block = block          # small, so that arrays span several blocks
        self.split_header = split_header  # base64 of the size header apart from the data's


def binary_stream(data, enc):
    """(raw bytes, base64 text) of one array: size header + data, or compression header + blocks."""
    if not enc.compress:
        head = pack([len(data)], enc.header, enc.big)
        raw = head + data
        if enc.split_header:
            text = base64.b64encode(head) + base64.b64encode(data)
        else:
            text = base64.b64encode(raw)
        return raw, text.decode()
    blocks = [data[i:i + enc.block] for i in range(0, len(data), enc.block)] or []
    packed = [zlib.compress(b) for b in blocks]
    last = len(data) % enc.block
    head = pack([len(blocks), enc.block, last] + [len(c) for c in packed], enc.header, enc.big)
    body = b''.join(packed)
    # VTK encodes the compression header and the compressed blocks as two base64 runs.
    return head + body, (base64.b64encode(head) + base64.b64encode(body)).decode()


def ascii_values(values, vtype):
    if vtype.startswith('Float'):
        return ' '.join(repr(float(v)) for v in values)
    return ' '.join(str(int(v)) for v in values)


def write_xml(path, dataset, piece_attrs, arrays, enc, field_data=None, pieces=None):
    """pieces: list of (piece_attrs, arrays); default one piece."""
    pieces = pieces or [(piece_attrs, arrays)]
    head = ['<?xml version="1.0"?>']
    attrs = 'type="%s" version="1.0" byte_order="%s" header_type="%s"' % (
        dataset, 'BigEndian' if enc.big else 'LittleEndian', enc.header)
    if enc.compress:
        attrs += ' compressor="vtkZLibDataCompressor"'
    head.append('<VTKFile %s>' % attrs)
    head.append('  <%s>' % dataset)
    appended_raw = b''
    appended_text = ''
    lines = head

    def emit(name, vtype, comps, values, indent, extra=''):
        nonlocal appended_raw, appended_text
        data = pack(values, vtype, enc.big)
        raw, text = binary_stream(data, enc)
        tag = '%s<DataArray type="%s" Name="%s"%s%s' % (
            indent, vtype, name, ' NumberOfComponents="%d"' % comps if comps != 1 else '', extra)
        if enc.mode == 'ascii':
            lines.append(tag + ' format="ascii">')
            lines.append(indent + '  ' + ascii_values(values, vtype))
            lines.append(indent + '</DataArray>')
        elif enc.mode == 'binary':
            lines.append(tag + ' format="binary">')
            lines.append(indent + '  ' + text)
            lines.append(indent + '</DataArray>')
        elif enc.mode == 'raw':
            lines.append(tag + ' format="appended" offset="%d"/>' % len(appended_raw))
            appended_raw += raw
        else:
            lines.append(tag + ' format="appended" offset="%d"/>' % len(appended_text))
            appended_text += text

    if field_data:
        lines.append('    <FieldData>')
        for name, vtype, values in field_data:
            emit(name, vtype, 1, values, '      ', ' NumberOfTuples="%d"' % len(values))
        lines.append('    </FieldData>')
    for pattrs, parrays in pieces:
        lines.append('    <Piece %s>' % ' '.join('%s="%s"' % kv for kv in pattrs))
        for section in ('Points', 'Cells', 'Verts', 'Lines', 'Strips', 'Polys', 'PointData', 'CellData'):
            mine = [a for a in parrays if a[0] == section]
            if not mine:
                continue
            lines.append('      <%s>' % section)
            for _, name, vtype, comps, values in mine:
                emit(name, vtype, comps, values, '        ')
            lines.append('      </%s>' % section)
        lines.append('    </Piece>')
    lines.append('  </%s>' % dataset)
    out = ('\n'.join(lines) + '\n').encode()
    if enc.mode == 'raw':
        out += b'  <AppendedData encoding="raw">\n   _' + appended_raw + b'\n  </AppendedData>\n'
    elif enc.mode == 'base64':
        out += ('  <AppendedData encoding="base64">\n   _' + appended_text + '\n  </AppendedData>\n').encode()
    out += b'</VTKFile>\n'
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(out)


MIXED_PIECE = [('NumberOfPoints', len(POINTS)), ('NumberOfCells', len(CELLS))]


def patch_piece():
    return [('NumberOfPoints', len(PATCH_POINTS)), ('NumberOfVerts', len(PATCH_VERTS)),
            ('NumberOfLines', len(PATCH_LINES)), ('NumberOfStrips', len(PATCH_STRIPS)),
            ('NumberOfPolys', len(PATCH_POLYS))]


def write_mixed_pieces(path, enc):
    """The mixed mesh as two pieces (hexahedron + wedge, pyramid + tetrahedron), each with its own points."""
    pieces = []
    for cells in (CELLS[:2], CELLS[2:]):
        used = sorted({i for _, pts in cells for i in pts})
        local = {g: k for k, g in enumerate(used)}
        pts = [POINTS[i] for i in used]
        conn = [local[i] for _, c in cells for i in c]
        offs = []
        for _, c in cells:
            offs.append((offs[-1] if offs else 0) + len(c))
        first = CELLS.index(cells[0])
        arrays = [('Points', 'Points', 'Float32', 3, [c for p in pts for c in p]),
                  ('Cells', 'connectivity', 'Int32', 1, conn), ('Cells', 'offsets', 'Int32', 1, offs),
                  ('Cells', 'types', 'UInt8', 1, [t for t, _ in cells]),
                  ('PointData', 'p', 'Float32', 1, [p_of(*p) for p in pts]),
                  ('PointData', 'U', 'Float32', 3, [c for p in pts for c in u_of(*p)]),
                  ('CellData', 'cellId', 'Int32', 1, [first + k for k in range(len(cells))]),
                  ('CellData', 'T', 'Float64', 1, [300.25 + 10 * (first + k) for k in range(len(cells))])]
        pieces.append(([('NumberOfPoints', len(pts)), ('NumberOfCells', len(cells))], arrays))
    write_xml(path, 'UnstructuredGrid', None, None, enc, pieces=pieces)


# --------------------------------------------------------------------------------------------
# VTK legacy

LEGACY_TYPE = {'Int8': 'char', 'UInt8': 'unsigned_char', 'Int16': 'short', 'UInt16': 'unsigned_short',
               'Int32': 'int', 'UInt32': 'unsigned_int', 'Int64': 'vtktypeint64', 'UInt64': 'vtktypeuint64',
               'Float32': 'float', 'Float64': 'double'}


class Legacy:
    def __init__(self, binary):
        self.binary = binary
        self.out = b''

    def line(self, text):
        self.out += (text + '\n').encode()

    def values(self, values, vtype, per_line=9):
        if self.binary:
            self.out += pack(values, vtype, True) + b'\n'
        else:
            for i in range(0, len(values), per_line):
                self.line(ascii_values(values[i:i + per_line], vtype))


def legacy_cells(w, keyword, cells, new_layout):
    if new_layout:
        offs = [0]
        for c in cells:
            offs.append(offs[-1] + len(c))
        conn = [i for c in cells for i in c]
        w.line('%s %d %d' % (keyword, len(offs), len(conn)))
        w.line('OFFSETS vtktypeint64')
        w.values(offs, 'Int64')
        w.line('CONNECTIVITY vtktypeint64')
        w.values(conn, 'Int64')
    else:
        ints = [v for c in cells for v in [len(c)] + c]
        w.line('%s %d %d' % (keyword, len(cells), len(ints)))
        w.values(ints, 'Int32')


def write_legacy_mixed(path, binary, new_layout):
    w = Legacy(binary)
    w.line('# vtk DataFile Version %s' % ('5.1' if new_layout else '3.0'))
    w.line('mixed cell mesh')
    w.line('BINARY' if binary else 'ASCII')
    w.line('DATASET UNSTRUCTURED_GRID')
    w.line('FIELD FieldData 1')
    w.line('TimeValue 1 1 double')
    w.values([0.5], 'Float64')
    w.line('POINTS %d double' % len(POINTS))
    w.values([c for p in POINTS for c in p], 'Float64', per_line=3)
    legacy_cells(w, 'CELLS', [c for _, c in CELLS], new_layout)
    w.line('CELL_TYPES %d' % len(CELLS))
    w.values([t for t, _ in CELLS], 'Int32')
    w.line('')
    w.line('CELL_DATA %d' % len(CELLS))
    w.line('SCALARS cellId int 1')
    w.line('LOOKUP_TABLE default')
    w.values(list(range(len(CELLS))), 'Int32')
    w.line('FIELD FieldData 1')
    w.line('T 1 %d double' % len(CELLS))
    w.values([300.25 + 10 * c for c in range(len(CELLS))], 'Float64')
    w.line('POINT_DATA %d' % len(POINTS))
    w.line('SCALARS p float')
    w.line('LOOKUP_TABLE default')
    w.values([p_of(*p) for p in POINTS], 'Float32')
    w.line('VECTORS U float')
    w.values([c for p in POINTS for c in u_of(*p)], 'Float32', per_line=3)
    w.line('FIELD FieldData %d' % len(TYPES))
    for t in TYPES:
        w.line('t_%s 1 %d %s' % (t, len(POINTS), LEGACY_TYPE[t]))
        w.values(typed_values(t, len(POINTS)), t)
    with open(path, 'wb') as f:
        f.write(w.out)


def write_legacy_patch(path, binary, new_layout):
    w = Legacy(binary)
    w.line('# vtk DataFile Version %s' % ('5.1' if new_layout else '3.0'))
    w.line('patch with every poly data cell kind')
    w.line('BINARY' if binary else 'ASCII')
    w.line('DATASET POLYDATA')
    w.line('POINTS %d float' % len(PATCH_POINTS))
    w.values([c for p in PATCH_POINTS for c in p], 'Float32', per_line=3)
    # Sections in an order other than the cell numbering, which is vertices, lines, polygons, strips.
    legacy_cells(w, 'POLYGONS', PATCH_POLYS, new_layout)
    legacy_cells(w, 'TRIANGLE_STRIPS', PATCH_STRIPS, new_layout)
    legacy_cells(w, 'VERTICES', PATCH_VERTS, new_layout)
    legacy_cells(w, 'LINES', PATCH_LINES, new_layout)
    n = len(PATCH_VERTS) + len(PATCH_LINES) + len(PATCH_POLYS) + len(PATCH_STRIPS)
    w.line('CELL_DATA %d' % n)
    w.line('SCALARS id int')
    w.line('LOOKUP_TABLE default')
    w.values(list(range(n)), 'Int32')
    w.line('POINT_DATA %d' % len(PATCH_POINTS))
    w.line('SCALARS h float 1')
    w.line('LOOKUP_TABLE default')
    w.values([x + 10 * y for x, y, _ in PATCH_POINTS], 'Float32')
    with open(path, 'wb') as f:
        f.write(w.out)


# --------------------------------------------------------------------------------------------
# Multiblock

def write_case(folder):
    """foamToVTK layout: case_1.vtm -> case_1/internal.vtu + case_1/boundary/<patch>.vtp."""
    enc = Encoding('binary', header='UInt64')
    time = [('TimeValue', 'Float32', [0.5])]
    write_xml(os.path.join(folder, 'case_1', 'internal.vtu'), 'UnstructuredGrid', MIXED_PIECE,
              mixed_arrays('Float32', 'Int32', 'Int32'), enc, field_data=time)
    poly = [('NumberOfPoints', 4), ('NumberOfPolys', 1)]
    write_xml(os.path.join(folder, 'case_1', 'boundary', 'inlet.vtp'), 'PolyData', poly,
              face_patch_arrays([0, 3, 7, 4]), enc, field_data=time)
    write_xml(os.path.join(folder, 'case_1', 'boundary', 'outlet.vtp'), 'PolyData', poly,
              face_patch_arrays([8, 2, 6, 9]), enc, field_data=time)
    with open(os.path.join(folder, 'case_1.vtm'), 'w') as f:
        f.write("""<?xml version='1.0'?>
<!-- time='0.5' -->
<VTKFile type='vtkMultiBlockDataSet' version='1.0' byte_order='LittleEndian' header_type='UInt64'>
  <vtkMultiBlockDataSet>
    <DataSet name='internal' file='case_1/internal.vtu' />
    <Block name='boundary'>
      <DataSet name='inlet' file='case_1/boundary/inlet.vtp' />
      <DataSet name='outlet' file='case_1/boundary/outlet.vtp' />
    </Block>
  </vtkMultiBlockDataSet>
  <FieldData>
    <DataArray type='Float32' Name='TimeValue' NumberOfTuples='1' format='ascii'>
0.5
    </DataArray>
  </FieldData>
</VTKFile>
""")


# --------------------------------------------------------------------------------------------

XML_VARIANTS = {
    'mixed_ascii': (Encoding('ascii'), ('Float64', 'Int64', 'Int64', 'Float32')),
    'mixed_b64_u32': (Encoding('binary', 'UInt32'), ('Float64', 'Int64', 'Int64', 'Float32')),
    'mixed_b64_u64': (Encoding('binary', 'UInt64'), ('Float32', 'Int32', 'Int32', 'Float64')),
    'mixed_b64_u32_split': (Encoding('binary', 'UInt32', split_header=True), ('Float32', 'Int32', 'Int64', 'Float32')),
    'mixed_b64_u32_zlib': (Encoding('binary', 'UInt32', compress=True), ('Float64', 'Int64', 'Int64', 'Float32')),
    'mixed_b64_u64_zlib': (Encoding('binary', 'UInt64', compress=True), ('Float32', 'Int32', 'Int32', 'Float64')),
    'mixed_raw_u32': (Encoding('raw', 'UInt32'), ('Float64', 'Int64', 'Int64', 'Float32')),
    'mixed_raw_u64_zlib': (Encoding('raw', 'UInt64', compress=True), ('Float32', 'Int32', 'Int32', 'Float64')),
    'mixed_app64_u32': (Encoding('base64', 'UInt32'), ('Float64', 'Int32', 'Int64', 'Float32')),
    'mixed_app64_u64_zlib': (Encoding('base64', 'UInt64', compress=True), ('Float64', 'Int64', 'Int32', 'Float32')),
    'mixed_b64_u32_big': (Encoding('binary', 'UInt32', big=True), ('Float64', 'Int64', 'Int64', 'Float32')),
    'mixed_raw_u64_zlib_big': (Encoding('raw', 'UInt64', compress=True, big=True), ('Float32', 'Int32', 'Int64', 'Float64')),
}

PATCH_VARIANTS = {
    'patch_ascii': Encoding('ascii'),
    'patch_b64_u64_zlib': Encoding('binary', 'UInt64', compress=True),
    'patch_raw_u32': Encoding('raw', 'UInt32'),
}


def write_all():
    for name, (enc, types) in XML_VARIANTS.items():
        write_xml(os.path.join(HERE, name + '.vtu'), 'UnstructuredGrid', MIXED_PIECE, mixed_arrays(*types), enc)
    write_mixed_pieces(os.path.join(HERE, 'mixed_pieces_raw.vtu'), Encoding('raw', 'UInt64', compress=True))
    for name, enc in PATCH_VARIANTS.items():
        write_xml(os.path.join(HERE, name + '.vtp'), 'PolyData', patch_piece(), patch_arrays(), enc)
    for binary in (False, True):
        for new in (False, True):
            suffix = ('binary' if binary else 'ascii') + ('_51' if new else '')
            write_legacy_mixed(os.path.join(HERE, 'mixed_legacy_%s.vtk' % suffix), binary, new)
            write_legacy_patch(os.path.join(HERE, 'patch_legacy_%s.vtk' % suffix), binary, new)
    write_case(HERE)


# --------------------------------------------------------------------------------------------
# Files written by VTK itself (--vtk) and the read-back check (--check)

def vtk_mixed():
    import vtk
    ug = vtk.vtkUnstructuredGrid()
    pts = vtk.vtkPoints()
    pts.SetDataTypeToDouble()
    for p in POINTS:
        pts.InsertNextPoint(p)
    ug.SetPoints(pts)
    for t, c in CELLS:
        ids = vtk.vtkIdList()
        for i in c:
            ids.InsertNextId(i)
        ug.InsertNextCell(t, ids)

    def array(cls, name, comps, values):
        a = cls()
        a.SetName(name)
        a.SetNumberOfComponents(comps)
        for v in values:
            a.InsertNextValue(v)
        return a
    pd, cd = ug.GetPointData(), ug.GetCellData()
    pd.AddArray(array(vtk.vtkFloatArray, 'p', 1, [p_of(*p) for p in POINTS]))
    pd.AddArray(array(vtk.vtkFloatArray, 'U', 3, [c for p in POINTS for c in u_of(*p)]))
    classes = {'Int8': vtk.vtkTypeInt8Array, 'UInt8': vtk.vtkTypeUInt8Array, 'Int16': vtk.vtkTypeInt16Array,
               'UInt16': vtk.vtkTypeUInt16Array, 'Int32': vtk.vtkTypeInt32Array, 'UInt32': vtk.vtkTypeUInt32Array,
               'Int64': vtk.vtkTypeInt64Array, 'UInt64': vtk.vtkTypeUInt64Array, 'Float32': vtk.vtkTypeFloat32Array,
               'Float64': vtk.vtkTypeFloat64Array}
    for t in TYPES:
        pd.AddArray(array(classes[t], 't_' + t, 1, typed_values(t, len(POINTS))))
    cd.AddArray(array(vtk.vtkTypeInt32Array, 'cellId', 1, range(len(CELLS))))
    cd.AddArray(array(vtk.vtkDoubleArray, 'T', 1, [300.25 + 10 * c for c in range(len(CELLS))]))
    return ug


def vtk_patch():
    import vtk
    pd = vtk.vtkPolyData()
    pts = vtk.vtkPoints()
    for p in PATCH_POINTS:
        pts.InsertNextPoint(p)
    pd.SetPoints(pts)
    for setter, cells in ((pd.SetVerts, PATCH_VERTS), (pd.SetLines, PATCH_LINES), (pd.SetPolys, PATCH_POLYS),
                          (pd.SetStrips, PATCH_STRIPS)):
        ca = vtk.vtkCellArray()
        for c in cells:
            ca.InsertNextCell(len(c), c)
        setter(ca)
    h = vtk.vtkFloatArray()
    h.SetName('h')
    for x, y, _ in PATCH_POINTS:
        h.InsertNextValue(x + 10 * y)
    pd.GetPointData().AddArray(h)
    i = vtk.vtkIntArray()
    i.SetName('id')
    for k in range(pd.GetNumberOfCells()):
        i.InsertNextValue(k)
    pd.GetCellData().AddArray(i)
    return pd


def write_vtk_files():
    import vtk
    ug = vtk_mixed()
    modes = {
        'ascii': dict(mode=0),
        'binary_u32': dict(mode=1, header=32),
        'binary_u64_zlib': dict(mode=1, header=64, zlib=True),
        'appended_raw_u64': dict(mode=2, header=64, encode=False),
        'appended_raw_u32_zlib_big': dict(mode=2, header=32, encode=False, zlib=True, big=True),
        'appended_b64_u32_zlib': dict(mode=2, header=32, encode=True, zlib=True),
    }
    for name, m in modes.items():
        w = vtk.vtkXMLUnstructuredGridWriter()
        w.SetInputData(ug)
        w.SetFileName(os.path.join(HERE, 'vtk9_mixed_%s.vtu' % name))
        w.SetDataMode(m['mode'])
        w.SetHeaderType(w.UInt64 if m.get('header') == 64 else w.UInt32)
        w.SetCompressorType(w.ZLIB if m.get('zlib') else w.NONE)
        w.SetEncodeAppendedData(m.get('encode', True))
        w.SetByteOrder(w.BigEndian if m.get('big') else w.LittleEndian)
        w.Write()
    for version in (42, 51):
        for binary in (False, True):
            w = vtk.vtkUnstructuredGridWriter()
            w.SetInputData(ug)
            w.SetFileName(os.path.join(HERE, 'vtk9_mixed_legacy%d_%s.vtk' % (version, 'binary' if binary else 'ascii')))
            w.SetFileVersion(version)
            if binary:
                w.SetFileTypeToBinary()
            else:
                w.SetFileTypeToASCII()
            w.Write()
    pd = vtk_patch()
    w = vtk.vtkXMLPolyDataWriter()
    w.SetInputData(pd)
    w.SetFileName(os.path.join(HERE, 'vtk9_patch_appended_raw.vtp'))
    w.SetDataModeToAppended()
    w.EncodeAppendedDataOff()
    w.Write()
    w = vtk.vtkPolyDataWriter()
    w.SetInputData(pd)
    w.SetFileName(os.path.join(HERE, 'vtk9_patch_legacy51_binary.vtk'))
    w.SetFileVersion(51)
    w.SetFileTypeToBinary()
    w.Write()
    # A ParaView-style multiblock: nested blocks, an unnamed dataset, an empty block.
    mb = vtk.vtkMultiBlockDataSet()
    mb.SetBlock(0, ug)
    mb.GetMetaData(0).Set(vtk.vtkCompositeDataSet.NAME(), 'fluid')
    walls = vtk.vtkMultiBlockDataSet()
    walls.SetBlock(0, pd)
    walls.SetBlock(1, None)
    walls.SetBlock(2, pd)
    walls.GetMetaData(2).Set(vtk.vtkCompositeDataSet.NAME(), 'lid')
    mb.SetBlock(1, walls)
    mb.GetMetaData(1).Set(vtk.vtkCompositeDataSet.NAME(), 'walls')
    w = vtk.vtkXMLMultiBlockDataWriter()
    w.SetInputData(mb)
    w.SetFileName(os.path.join(HERE, 'vtk9_nested.vtm'))
    w.Write()


def check_files():
    """Reads every file with VTK and compares with the meshes above; prints one line per file."""
    import vtk
    bad = 0
    for root, _, files in os.walk(HERE):
        for f in sorted(files):
            path = os.path.join(root, f)
            ext = os.path.splitext(f)[1]
            if ext == '.vtk':
                r = vtk.vtkDataSetReader()
                r.ReadAllScalarsOn()
                r.ReadAllVectorsOn()
                r.ReadAllFieldsOn()
            elif ext in ('.vtu', '.vtp'):
                r = vtk.vtkXMLGenericDataObjectReader()
            else:
                continue
            r.SetFileName(path)
            r.Update()
            ds = r.GetOutput()
            problems = []
            n = ds.GetNumberOfPoints()
            pts = [ds.GetPoint(i) for i in range(n)]
            pd = ds.GetPointData()
            for name, fn in (('p', lambda x, y, z: [p_of(x, y, z)]), ('U', lambda x, y, z: list(u_of(x, y, z))),
                             ('h', lambda x, y, z: [x + 10 * y])):
                a = pd.GetArray(name)
                if a is None:
                    continue
                for i, q in enumerate(pts):
                    if list(a.GetTuple(i)) != fn(*q):
                        problems.append('%s at point %d' % (name, i))
                        break
            for t in TYPES:
                a = pd.GetArray('t_' + t)
                if a is not None and [a.GetTuple1(i) for i in range(n)] != typed_values(t, n):
                    problems.append('t_' + t)
            types = [ds.GetCellType(c) for c in range(ds.GetNumberOfCells())]
            if 'patch' in f or root.endswith('boundary') or f.endswith('1.vtp') or f.endswith('3.vtp'):
                want = [1, 3, 4, 5, 9, 7, 6] if 'patch' in f or 'nested' in root else [9]
            else:
                want = [t for t, _ in CELLS]
                cd = ds.GetCellData()
                if [cd.GetArray('cellId').GetTuple1(c) for c in range(4)] != [0, 1, 2, 3] or \
                        [cd.GetArray('T').GetTuple1(c) for c in range(4)] != [300.25 + 10 * c for c in range(4)]:
                    problems.append('cell data')
            if types != want:
                problems.append('cell types %s' % types)
            print('%-40s %s' % (os.path.relpath(path, HERE), 'ok' if not problems else ', '.join(problems)))
            bad += bool(problems)
    return bad


if __name__ == '__main__':
    write_all()
    if '--vtk' in sys.argv:
        write_vtk_files()
    if '--check' in sys.argv:
        sys.exit(1 if check_files() else 0)
