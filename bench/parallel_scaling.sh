#!/usr/bin/env bash
# Side by side in one run: a generated case of N^3 hexahedra (default 126^3 = 2.0e6) in 8
# pieces, loaded and cut by a session of slices and sample planes, under mpirun -np 1 and
# -np 2, and the whole case in one plain process. Prints the wall times, the speed-up of -np 2
# over -np 1 and the peak memory (max RSS) of each process against the plain one. Each is
# run REPEATS times (default 3), in turns, and its fastest run counts: on a shared machine the
# slower runs measure the neighbours.
#   bench/parallel_scaling.sh BUILD_DIR [N] [WORK_DIR] [REPEATS]
set -euo pipefail
build=${1:?build folder, e.g. build/ci}
n=${2:-126}
work=${3:-$(mktemp -d)}
repeats=${4:-3}
src=$(cd "$(dirname "$0")/.." && pwd)
zelpost=$build/bin/zelpost
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1
mkdir -p "$work"
if [ ! -f "$work/cube8/cube.pvtu" ]; then
  python3 "$src/tests/parallel/make_cube.py" "$work/cube.vtu" "$n" 7
  "$build/bin/split_case" "$work/cube.vtu" 8 "$work/cube8"
fi
cat > "$work/session.zel" <<'ZEL'
PLANE: Slice X
  Option = YZ Plane
  X = 0.37 [m]
END
PLANE: Slice Y
  Option = ZX Plane
  Y = 0.61 [m]
END
PLANE: Slanted
  Option = Point and Normal
  Point = 0.5, 0.5, 0.5 [m]
  Normal = 1, 2, 3
END
PLANE: Sample
  Plane Type = Sample
  Option = Point and Normal
  Point = 0.5, 0.45, 0.55 [m]
  Normal = 0.2, 0.1, 1
  Plane Bound = Rectangular
  Direction 1 Bound = 0.8 [m]
  Direction 2 Bound = 0.8 [m]
  Direction 1 Points = 300
  Direction 2 Points = 300
END
> calculate areaAve, Pressure, Slice X
> calculate massFlow, Slice Y
> calculate areaAve, Velocity X, Slanted
> calculate areaInt, Pressure, Sample
> calculate volumeAve, Pressure, cube
ZEL
run() {  # label, then the command; prints the wall time and each process's max RSS (kB)
  local label=$1; shift
  local start end
  start=$(date +%s.%N)
  "$@" > "$work/$label.out" 2> "$work/$label.err"
  end=$(date +%s.%N)
  echo "$label $(echo "$end - $start" | bc) $(grep -o 'RSS [0-9]*' "$work/$label.err" | awk '{print $2}' | sort -n | tr '\n' ' ')"
}
rss=(/usr/bin/time -f "RSS %M")
for ((r = 0; r < repeats; ++r)); do
  run serial "${rss[@]}" "$zelpost" "$work/cube.vtu" "$work/session.zel"
  run np1 mpirun --oversubscribe -np 1 "${rss[@]}" "$zelpost" "$work/cube8/cube.pvtu" "$work/session.zel"
  run np2 mpirun --oversubscribe -np 2 "${rss[@]}" "$zelpost" "$work/cube8/cube.pvtu" "$work/session.zel"
done | tee "$work/runs.txt"
# The fastest run of each.
sort -k1,1 -k2,2g "$work/runs.txt" | awk '!seen[$1]++' > "$work/times.txt"
awk '/^serial/ {s=$3} /^np1/ {t1=$2} /^np2/ {t2=$2; m=$3; if ($4 > m) m=$4}
     END {printf "speed-up -np 2 over -np 1: %.2f x; peak memory per process at -np 2: %.2f x the plain process\n", t1/t2, m/s}' "$work/times.txt"
diff <(grep -v '^loaded' "$work/np1.out") <(grep -v '^loaded' "$work/np2.out") > /dev/null && echo "same results" || echo "results differ"
