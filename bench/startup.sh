#!/bin/bash
# Start-up cost, measured with hyperfine beside an empty C program in the
# same run:
#   - qvp_dispatch answering a request it refuses itself (no exec): its own
#     start-up; budget within 1.5x the empty program;
#   - qvp_dispatch exec'ing an empty program as its handler;
#   - qvp_nc_handler answering a DAS request for a small file;
#   - an empty program linked with the handler's shared libraries: its excess
#     over the empty program is the cost of loading them, reported as a
#     share of the DAS request, with the loader's own figures from
#     LD_DEBUG=statistics.
source "$(dirname "$0")/bench_env.sh"
make_empty_program
"$src/samples/make_samples.sh" "$work/data"
mkdir -p "$work/fake"
cp "$work/empty" "$work/fake/qvp_nc_handler"
cc -O2 -o "$work/linked" "$work/empty.c" -Wl,--no-as-needed \
  -L"$build/core" -L"$build/server" -lqvpserver -lqvp \
  $(pkg-config --libs netcdf) -Wl,-rpath,"$build/core:$build/server"

export REQUEST_SCHEME=http HTTP_HOST=127.0.0.1 SCRIPT_NAME=/qvp QUERY_STRING= \
  QVP_DATA_ROOT="$work/data" QVP_HANDLER_DIR="$work/fake"
run() {  # run JSON-NAME hyperfine-arguments...
  local out=$1
  shift
  hyperfine -N --warmup 20 --runs 300 --export-json "$work/$out.json" "$@" \
    > /dev/null
}
# An unknown suffix is refused by the dispatcher itself: with the built-in
# handler table, and with the table read from a file (QVP_CONFIG).
PATH_INFO=/sst.nc.xyz run refusal -n empty "$work/empty" \
  -n dispatch_refusal "$dispatch"
PATH_INFO=/sst.nc.xyz QVP_CONFIG="$src/share/qvp/handlers.conf" \
  run refusal_config -n empty "$work/empty" \
  -n dispatch_refusal_config "$dispatch"
PATH_INFO=/sst.nc.das run chain -n empty "$work/empty" \
  -n dispatch_exec_empty "$dispatch" -n linked_libs "$work/linked" \
  -n handler_das "$handler -o das $work/data/sst.nc"
LD_DEBUG=statistics "$handler" -o das "$work/data/sst.nc" 2> "$work/ld.txt" \
  > /dev/null
objects=$(ldd "$handler" | wc -l)

python3 - "$work/refusal.json" "$work/chain.json" "$work/ld.txt" "$objects" \
  "$work/refusal_config.json" <<'PY'
import json, re, sys
def load(path):
    r = {x["command"]: x for x in json.load(open(path))["results"]}
    return ({k: v["mean"] * 1e3 for k, v in r.items()},
            {k: v["stddev"] * 1e3 for k, v in r.items()})
m1, s1 = load(sys.argv[1])
m, sd = load(sys.argv[2])
print("start-up, mean of 300 runs each (ms)")
for k in ("empty", "dispatch_refusal"):
    print("  %-20s %7.3f +- %.3f" % (k, m1[k], s1[k]))
ratio = m1["dispatch_refusal"] / m1["empty"]
print("dispatcher's own start-up / empty program: %.2fx (budget 1.5x) %s"
      % (ratio, "OK" if ratio <= 1.5 else "OVER BUDGET"))
mc, sc = load(sys.argv[5])
for k in ("empty", "dispatch_refusal_config"):
    print("  %-24s %7.3f +- %.3f" % (k, mc[k], sc[k]))
ratio = mc["dispatch_refusal_config"] / mc["empty"]
print("the same with the handler table read from a file: %.2fx (budget 1.5x) %s"
      % (ratio, "OK" if ratio <= 1.5 else "OVER BUDGET"))
for k in ("empty", "dispatch_exec_empty", "linked_libs", "handler_das"):
    print("  %-20s %7.3f +- %.3f" % (k, m[k], sd[k]))
libs = m["linked_libs"] - m["empty"]
print("loading the handler's shared libraries: %.3f ms, %.0f%% of a DAS request"
      % (libs, 100 * libs / m["handler_das"]))
text = open(sys.argv[3]).read()
total = re.search(r"total startup time in dynamic loader:\s*([\d,]+)", text)
reloc = re.search(r"time needed for relocation:.*?\(([\d.]+)%\)", text)
if total:
    print("LD_DEBUG=statistics: %s cycles in the loader for %s objects%s"
          % (total.group(1), sys.argv[4],
             ", %s%% of them relocating" % reloc.group(1) if reloc else ""))
PY
