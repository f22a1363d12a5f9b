#!/usr/bin/env bash
# The cases of the parallel tests: a random-ish cube, zelpost's demo case, the squareBend
# export and (when the shared data are there) the elbow, each split into 2, 3 and 7 pieces, with and without a
# ghost layer, a split cube with a piece file missing, and foamToVTK's parallel export of
# squareBendParallel split into 2 and 3.
#   make_cases.sh SPLIT_CASE SOURCE_DIR OUT_DIR
set -euo pipefail
split=$1 src=$2 out=$3
rm -rf "$out"
mkdir -p "$out"
python3 "$src/tests/parallel/make_cube.py" "$out/cube.vtu" 10 2024
for n in 2 3 7; do
  "$split" "$out/cube.vtu" $n "$out/cube$n"
  "$split" "$out/cube.vtu" $n "$out/cube${n}g" --ghost
  "$split" "$src/tests/data/openfoam/squareBend/VTK/squareBend_400.vtm" $n "$out/squareBend$n"
done
"$split" "$out/cube.vtu" 3 "$out/cube3ids" --global-ids
# zelpost's demo case: every cell type.
for n in 2 3 7; do "$split" --demo $n "$out/demo$n"; done
"$split" --demo 3 "$out/demo3g" --ghost
# OpenFOAM's own parallel export, read whole and dealt again as pieces.
for n in 2 3; do
  "$split" "$src/tests/data/openfoam/squareBendParallel/parallel/squareBend_400.vtm" $n "$out/foamParallel$n"
done
elbow="$src/../shared/data/elbow/VTK/elbow_200.vtm"
if [ -f "$elbow" ]; then
  for n in 2 3 7; do "$split" "$elbow" $n "$out/elbow$n"; done
  "$split" "$elbow" 3 "$out/elbow3g" --ghost
fi
"$split" "$out/cube.vtu" 3 "$out/cubeMissing"
rm "$out/cubeMissing/cube/cube_1.vtu"
