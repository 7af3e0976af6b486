#!/bin/bash
# NcML aggregation figures, one run, as ratios on this machine: a
# joinExisting of QVP_BENCH_MEMBERS (default 3650) daily classic files, one
# step each. Cold first DDS against ncdump -h over the members; warm DAS and
# DDS through the pool against one member's; one time step against the same
# box from its member; a time series at one point across all members against
# a C loop that opens each member; a worker's peak resident size. Then the
# index's memory for 100,000 members (listed with ncoords and coordValue,
# hard links of one file): the handler's peak resident size making it.
source "$(dirname "$0")/bench_env.sh"
cc -O2 -o "$work/nc_point_loop" "$src/bench/nc_point_loop.c" $(nc-config --cflags --libs)
/usr/bin/python3 "$src/bench/aggregation.py" "$work" "$handler" "$work/nc_point_loop"

big=$work/big
mkdir -p "$big/m"
cp "$work/data/daily/sst_00000.nc" "$big/one.nc"
/usr/bin/python3 - "$big" <<'PY'
import os, sys
big = sys.argv[1]
n = 100000
with open(big + "/big.ncml", "w") as f:
    f.write('<?xml version="1.0"?>\n<netcdf xmlns="http://www.unidata.ucar.edu/namespaces/'
            'netcdf/ncml-2.2"><aggregation dimName="time" type="joinExisting">\n')
    f.write('<netcdf location="one.nc"/>\n')
    for i in range(1, n):
        # A file has at most 65,000 links: one copy per 50,000 members.
        source = "%s/copy%d.nc" % (big, i // 50000)
        if not os.path.exists(source):
            with open(big + "/one.nc", "rb") as a, open(source, "wb") as b:
                b.write(a.read())
        os.link(source, "%s/m/%06d.nc" % (big, i))
        f.write('<netcdf location="m/%06d.nc" ncoords="1" coordValue="%d"/>\n' % (i, i))
    f.write("</aggregation></netcdf>\n")
PY
for run in cold warm; do
  /usr/bin/time -f "%e s, peak resident %M KiB" -o "$work/time.txt" \
    env QVP_DATA_ROOT="$big" QVP_CACHE_DIR="$work/cache" \
    "$handler" -o DDS "$big/big.ncml" > "$work/big.dds"
  echo "100,000 members, $run DDS: $(cat "$work/time.txt"); $(grep -o 'time = [0-9]*' "$work/big.dds" | head -1)"
done
