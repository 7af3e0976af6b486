# Sourced by the benchmark scripts: builds the programs they measure
# (Release, in $QVP_BENCH_BUILD, default <repo>/build-bench) and sets
#   src, build, dispatch, handler, nc_ramp, work (a temporary directory that
#   is removed on exit)
set -euo pipefail
src=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QVP_BENCH_BUILD:-$src/build-bench}
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQVP_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target qvp_dispatch qvp_nc_handler nc_ramp >/dev/null
dispatch=$build/dispatch/qvp_dispatch
handler=$build/handlers/netcdf/qvp_nc_handler
nc_ramp=$build/samples/nc_ramp
work=$(mktemp -d "${TMPDIR:-/tmp}/qvp-bench.XXXXXX")
bench_cleanup_hooks=()
bench_cleanup() {
  for h in "${bench_cleanup_hooks[@]}"; do eval "$h" || true; done
  rm -rf "$work"
}
trap bench_cleanup EXIT

# An empty C program, the reference for start-up figures.
make_empty_program() {
  printf 'int main(void) { return 0; }\n' > "$work/empty.c"
  cc -O2 -o "$work/empty" "$work/empty.c"
}
