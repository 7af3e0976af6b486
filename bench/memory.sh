#!/bin/bash
# Peak resident size of a data response for a 1 GiB variable: nc_ramp writes
# a 16384 x 16384 float variable, qvp_nc_handler sends all of it to
# /dev/null, and /usr/bin/time reports the peak. Budget: under 64 MiB.
# Needs about 1 GiB of free space under $TMPDIR.
source "$(dirname "$0")/bench_env.sh"

"$nc_ramp" "$work/big.nc" 16384 16384
size=$(stat -c %s "$work/big.nc")
/usr/bin/time -v -o "$work/time.txt" \
  "$handler" -o DataDDS -e ramp "$work/big.nc" > "$work/out.bin"
sent=$(stat -c %s "$work/out.bin")
rm -f "$work/out.bin"
peak_kib=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
secs=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/time.txt")
python3 - "$size" "$sent" "$peak_kib" "$secs" <<'PY'
import sys
size, sent, peak_kib, secs = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
budget = 64 * 1024
print("data response for a 1 GiB variable")
print("  file size          %10.1f MiB" % (size / 2**20))
print("  response size      %10.1f MiB" % (sent / 2**20))
print("  elapsed            %10s" % secs)
print("  peak resident size %10.1f MiB  (budget 64 MiB, %.0f%% of it) %s"
      % (peak_kib / 1024, 100.0 * peak_kib / budget,
         "OK" if peak_kib < budget else "OVER BUDGET"))
PY
