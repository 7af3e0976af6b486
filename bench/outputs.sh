#!/bin/bash
# The downloads, in one run over a 4096 x 8192 Float32 variable (128 MiB,
# written by nc_ramp):
#  - .nc of the whole variable written to a file, beside ncks writing the
#    same subset to a file (budget: at least 0.8 of ncks's speed);
#  - .png of the variable (read with strides to at most 1024 pixels on its
#    long side), beside a data response of one eighth of the variable
#    (budget: at most that time);
#  - the peak resident size of each (budget: at most 64 MiB).
# Needs nco (ncks) and about 400 MiB of free space under $TMPDIR.
source "$(dirname "$0")/bench_env.sh"

"$nc_ramp" "$work/ramp.nc" 4096 8192
cat "$work/ramp.nc" > /dev/null  # every run reads from the page cache

# measure NAME OUTPUT COMMAND...: runs COMMAND with stdout to OUTPUT under
# /usr/bin/time; sets NAME_secs and NAME_kib.
measure() {
  local name=$1 out=$2
  shift 2
  local t0=$EPOCHREALTIME
  /usr/bin/time -f "%M" -o "$work/$name.time" "$@" > "$out"
  local t1=$EPOCHREALTIME
  read -r kib < "$work/$name.time"
  secs=$(python3 -c "print(round($t1 - $t0, 4))")
  printf -v "${name}_secs" '%s' "$secs"
  printf -v "${name}_kib" '%s' "$kib"
}

view() {  # view KIND CONSTRAINT: the handler's command line for a download
  echo "$handler" "--view=$1" -v bench -u http://localhost/qvp/ramp.nc -e "$2" "$work/ramp.nc"
}

measure ncks /dev/null ncks -O -h -v ramp "$work/ramp.nc" "$work/ncks.nc"
measure nc "$work/ours.nc" $(view nc ramp)
measure eighth /dev/null "$handler" -o DataDDS -e 'ramp[0:511][0:8191]' "$work/ramp.nc"
measure png "$work/ramp.png" $(view png ramp)
nc_bytes=$(stat -c %s "$work/ours.nc")
png_head=$(head -c 200 "$work/ramp.png" | head -1 | tr -d '\r')
rm -f "$work/ours.nc" "$work/ncks.nc"

python3 - "$nc_bytes" "$ncks_secs" "$nc_secs" "$nc_kib" "$ncks_kib" \
  "$eighth_secs" "$png_secs" "$png_kib" "$png_head" <<'PY'
import sys
a = sys.argv[1:]
nc_bytes = int(a[0])
ncks, nc, nc_kib, ncks_kib = float(a[1]), float(a[2]), int(a[3]), int(a[4])
eighth, png, png_kib, png_head = float(a[5]), float(a[6]), int(a[7]), a[8]
mib = nc_bytes / 2**20
def ok(good):
    return "OK" if good else "MISSES THE BUDGET"
print(".nc of a 128 MiB Float32 selection, written to a file (one run)")
print("  ncks               %7.3f s  %7.0f MiB/s  peak %6.1f MiB" % (ncks, mib / max(ncks, 1e-3), ncks_kib / 1024))
print("  .nc download       %7.3f s  %7.0f MiB/s  peak %6.1f MiB" % (nc, mib / max(nc, 1e-3), nc_kib / 1024))
print("  speed ratio (ncks time / ours) %.2f  (budget >= 0.8) %s" % (ncks / max(nc, 1e-3), ok(ncks / max(nc, 1e-3) >= 0.8)))
print("  peak resident size %.1f MiB  (budget <= 64) %s" % (nc_kib / 1024, ok(nc_kib <= 65536)))
print(".png of a 4096 x 8192 Float32 variable (one run)")
print("  reading one eighth %7.3f s (data response of ramp[0:511][0:8191])" % eighth)
print("  .png               %7.3f s  peak %6.1f MiB  (%s)" % (png, png_kib / 1024, png_head))
print("  time ratio (png / one eighth) %.2f  (budget <= 1) %s" % (png / max(eighth, 1e-3), ok(png <= eighth)))
print("  peak resident size %.1f MiB  (budget <= 64) %s" % (png_kib / 1024, ok(png_kib <= 65536)))
PY
