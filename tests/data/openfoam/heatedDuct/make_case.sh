#!/usr/bin/env bash
# Rebuilds this export: OpenFOAM v1912 (Debian package openfoam), buoyantSimpleFoam without
# gravity on a laminar air flow through a 10 mm x 20 mm duct, 200 mm long: an unheated
# entry of 50 mm, then a hot floor (340 K) and a cold ceiling (290 K); the side walls and the
# entry are adiabatic. Function objects: the wall heat flux with its per-patch integrals, the
# heat transfer coefficient against the wall-adjacent cell, the forces on the walls and the
# mass and enthalpy flows through inlet and outlet.
#   tests/data/openfoam/heatedDuct/make_case.sh [WORK_FOLDER]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="${1:-$(mktemp -d)}"
command -v /usr/bin/buoyantSimpleFoam > /dev/null || [ -d /usr/share/openfoam ] ||
    { echo "needs: apt-get install openfoam" >&2; exit 1; }
case="$work/heatedDuct"
rm -rf "$case" && mkdir -p "$case/0" "$case/constant" "$case/system" && cd "$case"

header() {  # class object [location]
    printf 'FoamFile\n{\n    version 2.0;\n    format ascii;\n    class %s;\n    object %s;\n}\n' "$1" "$2"
}

# ---- mesh: two blocks along x (entry, heated part), cells of 6.25 x 1.25 x 2.5 mm
{ header dictionary blockMeshDict; cat <<'DICT'
scale 0.001;
vertices
(
    (0 0 0) (50 0 0) (200 0 0) (0 10 0) (50 10 0) (200 10 0)
    (0 0 20) (50 0 20) (200 0 20) (0 10 20) (50 10 20) (200 10 20)
);
blocks
(
    hex (0 1 4 3 6 7 10 9) (8 8 8) simpleGrading (1 1 1)
    hex (1 2 5 4 7 8 11 10) (24 8 8) simpleGrading (1 1 1)
);
boundary
(
    inlet { type patch; faces ((0 6 9 3)); }
    outlet { type patch; faces ((2 5 11 8)); }
    hotWall { type wall; faces ((1 2 8 7)); }
    coldWall { type wall; faces ((4 10 11 5)); }
    adiabaticWalls
    {
        type wall;
        faces ((0 1 7 6) (3 9 10 4) (0 3 4 1) (1 4 5 2) (6 7 10 9) (7 8 11 10));
    }
);
DICT
} > system/blockMeshDict

# ---- fields
{ header volVectorField U; cat <<'DICT'
dimensions [0 1 -1 0 0 0 0];
internalField uniform (0.1 0 0);
boundaryField
{
    inlet { type fixedValue; value uniform (0.1 0 0); }
    outlet { type inletOutlet; inletValue uniform (0 0 0); value uniform (0.1 0 0); }
    "(hotWall|coldWall|adiabaticWalls)" { type noSlip; }
}
DICT
} > 0/U
{ header volScalarField T; cat <<'DICT'
dimensions [0 0 0 1 0 0 0];
internalField uniform 300;
boundaryField
{
    inlet { type fixedValue; value uniform 300; }
    outlet { type inletOutlet; inletValue uniform 300; value uniform 300; }
    hotWall { type fixedValue; value uniform 340; }
    coldWall { type fixedValue; value uniform 290; }
    adiabaticWalls { type zeroGradient; }
}
DICT
} > 0/T
{ header volScalarField p_rgh; cat <<'DICT'
dimensions [1 -1 -2 0 0 0 0];
internalField uniform 1e5;
boundaryField
{
    inlet { type fixedFluxPressure; value uniform 1e5; }
    outlet { type fixedValue; value uniform 1e5; }
    "(hotWall|coldWall|adiabaticWalls)" { type fixedFluxPressure; value uniform 1e5; }
}
DICT
} > 0/p_rgh
{ header volScalarField p; cat <<'DICT'
dimensions [1 -1 -2 0 0 0 0];
internalField uniform 1e5;
boundaryField
{
    ".*" { type calculated; value uniform 1e5; }
}
DICT
} > 0/p

# ---- physics: air as a perfect gas with constant properties, laminar, no gravity
{ header uniformDimensionedVectorField g; cat <<'DICT'
dimensions [0 1 -2 0 0 0 0];
value (0 0 0);
DICT
} > constant/g
{ header dictionary turbulenceProperties; echo 'simulationType laminar;'; } > constant/turbulenceProperties
{ header dictionary thermophysicalProperties; cat <<'DICT'
thermoType
{
    type heRhoThermo; mixture pureMixture; transport const; thermo hConst;
    equationOfState perfectGas; specie specie; energy sensibleEnthalpy;
}
mixture
{
    specie { molWeight 28.96; }
    thermodynamics { Cp 1004.4; Hf 0; }
    transport { mu 1.831e-05; Pr 0.705; }
}
DICT
} > constant/thermophysicalProperties

# ---- numerics
{ header dictionary fvSchemes; cat <<'DICT'
ddtSchemes { default steadyState; }
gradSchemes { default Gauss linear; }
divSchemes
{
    default none;
    div(phi,U) bounded Gauss linearUpwind grad(U);
    div(phi,h) bounded Gauss linearUpwind grad(h);
    div(phi,K) bounded Gauss linear;
    div(((rho*nuEff)*dev2(T(grad(U))))) Gauss linear;
}
laplacianSchemes { default Gauss linear corrected; }
interpolationSchemes { default linear; }
snGradSchemes { default corrected; }
DICT
} > system/fvSchemes
{ header dictionary fvSolution; cat <<'DICT'
solvers
{
    p_rgh { solver GAMG; smoother DICGaussSeidel; tolerance 1e-9; relTol 0.01; maxIter 100; }
    "(U|h)" { solver PBiCGStab; preconditioner DILU; tolerance 1e-12; relTol 0.1; }
}
SIMPLE
{
    momentumPredictor yes;
    nNonOrthogonalCorrectors 0;
}
relaxationFactors
{
    fields { rho 1.0; p_rgh 0.3; }
    equations { U 0.7; h 0.7; }
}
DICT
} > system/fvSolution

{ header dictionary controlDict; cat <<'DICT'
application buoyantSimpleFoam;
startFrom startTime;
startTime 0;
stopAt endTime;
endTime 600;
deltaT 1;
writeControl timeStep;
writeInterval 600;
purgeWrite 0;
writeFormat ascii;
writePrecision 8;
writeCompression off;
timeFormat general;
timePrecision 6;
runTimeModifiable false;
functions
{
    wallHeatFlux1
    {
        type wallHeatFlux; libs (fieldFunctionObjects);
        patches (hotWall coldWall adiabaticWalls);
        writeControl timeStep; writeInterval 100;
    }
    heatTransferCoeff1
    {
        type heatTransferCoeff; libs (fieldFunctionObjects);
        field T; patches (hotWall coldWall);
        htcModel localReferenceTemperature;
        writeControl timeStep; writeInterval 600;
    }
    wallShearStress1
    {
        type wallShearStress; libs (fieldFunctionObjects);
        patches (hotWall coldWall adiabaticWalls); writeControl timeStep; writeInterval 600;
    }
    forcesWalls
    {
        type forces; libs ("libforces.so"); writeControl timeStep; writeInterval 100;
        patches (hotWall coldWall adiabaticWalls); rho rho; CofR (0 0 0);
    }
    forcesHot { $forcesWalls; patches (hotWall); }
    flowInlet
    {
        type surfaceFieldValue; libs (fieldFunctionObjects); writeControl timeStep; writeInterval 100;
        log false; writeFields false; regionType patch; name inlet;
        operation sum; fields (phi);
    }
    flowOutlet { $flowInlet; name outlet; }
    enthalpyInlet { $flowInlet; operation weightedSum; weightField phi; fields (h); }
    enthalpyOutlet { $enthalpyInlet; name outlet; }
    density { type writeObjects; libs (utilityFunctionObjects); objects (rho); writeControl writeTime; }
}
DICT
} > system/controlDict

set +u
export FOAM_INST_DIR=/usr/share/openfoam
source /usr/share/openfoam/etc/bashrc || true
set -u
blockMesh > log.blockMesh
buoyantSimpleFoam > log.buoyantSimpleFoam
foamToVTK -latestTime > log.foamToVTK
rm -rf "$here/VTK" "$here/postProcessing" && cp -r VTK "$here/"
# Each figure file: its header and its last rows (every 100 iterations: the convergence).
for f in postProcessing/*/0/*.dat; do
    out="$here/${f/\/0\//\/}"
    mkdir -p "$(dirname "$out")"
    case "$f" in
        */wallHeatFlux.dat) (grep '^#' "$f"; grep -v '^#' "$f" | tail -9) > "$out" ;;
        */moment.dat|*/wallShearStress.dat) ;;
        *) (grep '^#' "$f"; grep -v '^#' "$f" | tail -3) > "$out" ;;
    esac
done
