#!/usr/bin/env bash
# Rebuilds these exports: OpenFOAM v1912 (Debian packages openfoam, openfoam-examples), the
# simpleFoam tutorial squareBend on a very coarse mesh with its wall shear stress, run once,
# then exported twice from the same time folder: serial/ by foamToVTK on the whole case,
# parallel/ by `mpirun -np 4 foamToVTK -parallel` on the case decomposed into 2 x 1 x 2
# (method simple: the processor boundaries cross the walls, the inlet and the outlet, and
# four processors meet along lines).
#   tests/data/openfoam/squareBendParallel/make_case.sh [WORK_FOLDER]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="${1:-$(mktemp -d)}"
tutorial=/usr/share/doc/openfoam-examples/examples/incompressible/simpleFoam/squareBend
[ -d "$tutorial" ] || { echo "needs: apt-get install openfoam openfoam-examples" >&2; exit 1; }
rm -rf "$work/squareBend" && cp -r "$tutorial" "$work/" && cd "$work/squareBend"
find . -name '*.gz' -exec gunzip {} \;
sed -i 's/inlet  ( 20 20 20)/inlet  ( 4 4 4)/; s/outlet (200 20 20)/outlet (12 4 4)/;
        s/bend1  ( 30 20 20)/bend1  ( 6 4 4)/; s/bend2  ( 30 20 20)/bend2  ( 6 4 4)/' system/blockMeshDict
sed -i 's/^endTime .*/endTime         400;/; s/^writeInterval .*/writeInterval   400;/' system/controlDict
sed -i '/^functions/,$d' system/controlDict
cat >> system/controlDict <<'DICT'
functions
{
    wallShearStress1 { type wallShearStress; libs (fieldFunctionObjects); patches (walls); writeControl writeTime; }
}
DICT
cat > system/decomposeParDict <<'DICT'
FoamFile { version 2.0; format ascii; class dictionary; object decomposeParDict; }
numberOfSubdomains 4;
method simple;
coeffs { n (2 1 2); delta 0.001; }
DICT
set +u
export FOAM_INST_DIR=/usr/share/openfoam
source /usr/share/openfoam/etc/bashrc || true
set -u
blockMesh > log.blockMesh
simpleFoam > log.simpleFoam
foamToVTK -latestTime > log.foamToVTK
mv VTK serial
decomposePar -latestTime > log.decomposePar
# Open MPI refuses root and more processes than cores unless told.
OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 \
    mpirun --oversubscribe -np 4 foamToVTK -parallel -latestTime > log.foamToVTK.parallel
mv VTK parallel
rm -rf "$here/serial" "$here/parallel" && cp -r serial parallel "$here/"
