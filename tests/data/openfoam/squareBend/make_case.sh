#!/usr/bin/env bash
# Rebuilds this export: OpenFOAM v1912 (Debian packages openfoam, openfoam-examples), the
# simpleFoam tutorial squareBend (3D square-duct bend, k-epsilon) on a coarser mesh, with
# function objects for the wall shear stress, the forces on the walls and the patch flows.
#   tests/data/openfoam/squareBend/make_case.sh [WORK_FOLDER]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="${1:-$(mktemp -d)}"
tutorial=/usr/share/doc/openfoam-examples/examples/incompressible/simpleFoam/squareBend
[ -d "$tutorial" ] || { echo "needs: apt-get install openfoam openfoam-examples" >&2; exit 1; }
rm -rf "$work/squareBend" && cp -r "$tutorial" "$work/" && cd "$work/squareBend"
find . -name '*.gz' -exec gunzip {} \;
sed -i 's/inlet  ( 20 20 20)/inlet  ( 6 6 6)/; s/outlet (200 20 20)/outlet (40 6 6)/;
        s/bend1  ( 30 20 20)/bend1  ( 9 6 6)/; s/bend2  ( 30 20 20)/bend2  ( 9 6 6)/' system/blockMeshDict
sed -i 's/^endTime .*/endTime         400;/; s/^writeInterval .*/writeInterval   400;/' system/controlDict
sed -i '/^functions/,$d' system/controlDict
cat >> system/controlDict <<'DICT'
functions
{
    wallShearStress1 { type wallShearStress; libs (fieldFunctionObjects); patches (walls); writeControl writeTime; }
    forcesWalls
    {
        type forces; libs ("libforces.so"); writeControl timeStep; writeInterval 1;
        patches (walls); rho rhoInf; rhoInf 1; CofR (0 0 0);
    }
    flowInlet
    {
        type surfaceFieldValue; libs (fieldFunctionObjects); writeControl timeStep; writeInterval 1;
        log false; writeFields false; regionType patch; name inlet; operation sum; fields (phi);
    }
    flowOutlet { $flowInlet; name outlet; }
    pInlet { $flowInlet; operation areaAverage; fields (p); }
}
DICT
set +u
export FOAM_INST_DIR=/usr/share/openfoam
source /usr/share/openfoam/etc/bashrc || true
set -u
blockMesh > log.blockMesh
simpleFoam > log.simpleFoam
foamToVTK -latestTime > log.foamToVTK
rm -rf "$here/VTK" && cp -r VTK "$here/"
for f in flowInlet flowOutlet pInlet; do
    mkdir -p "$here/postProcessing/$f"
    (head -4 "postProcessing/$f/0/surfaceFieldValue.dat"; tail -1 "postProcessing/$f/0/surfaceFieldValue.dat") \
        > "$here/postProcessing/$f/surfaceFieldValue.dat"
done
mkdir -p "$here/postProcessing/forcesWalls"
(head -4 postProcessing/forcesWalls/0/force.dat; tail -1 postProcessing/forcesWalls/0/force.dat) \
    > "$here/postProcessing/forcesWalls/force.dat"
