#!/usr/bin/env bash
# Fuzzes every target for SECONDS each (default 60) with libFuzzer, ASan and
# UBSan, in build-fuzz/. New inputs go to a scratch corpus; with --merge the ones
# that add coverage are kept in fuzz/corpus/<target>/.
#   fuzz/run.sh 120            all targets, 120 s each
#   fuzz/run.sh 30 comma_list  one target
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
merge=0
targets=()
for arg in "$@"; do
  if [ "$arg" = "--merge" ]; then merge=1; else targets+=("$arg"); fi
done
build="$here/build-fuzz"
if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DFOTOLOOM_FUZZ=ON -DFOTOLOOM_BUILD_TESTS=OFF -DFOTOLOOM_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build" >/dev/null
if [ ${#targets[@]} -eq 0 ]; then
  for f in "$build"/bin/*_fuzz; do targets+=("$(basename "$f" _fuzz)"); done
fi
status=0
for t in "${targets[@]}"; do
  scratch="$build/corpus-$t"
  mkdir -p "$scratch" "$here/fuzz/corpus/$t"
  echo "== $t: ${seconds}s"
  if ! "$build/bin/${t}_fuzz" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$build/$t-" \
      "$scratch" "$here/fuzz/corpus/$t" 2>"$build/$t.log"; then
    echo "   FINDING: see $build/$t.log and $build/$t-*"
    status=1
  fi
  grep -E 'stat::number_of_executed_units|Done [0-9]+ runs' "$build/$t.log" | sed 's/^/   /' || true
  if [ $merge -eq 1 ]; then
    "$build/bin/${t}_fuzz" -merge=1 "$here/fuzz/corpus/$t" "$scratch" 2>/dev/null >/dev/null || true
  fi
done
exit $status
