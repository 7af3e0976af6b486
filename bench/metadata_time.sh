#!/bin/bash
# Time of the metadata responses for a file of many record variables, as a
# ratio to `ncdump -h` on the same file in the same run. The files are
# netCDF-4 and classic, VARIABLES variables over an unlimited dimension
# (netCDF-4 works out an unlimited length by visiting every variable that
# uses it, so a handler asking once per variable turns quadratic here).
#   metadata_time.sh [VARIABLES]   (default 5000)
source "$(dirname "$0")/bench_env.sh"
vars=${1:-5000}

awk -v vars="$vars" 'BEGIN {
  print "netcdf records {\ndimensions:"
  for (d = 0; d < 200; d++) printf "  dim%d = %d ;\n", d, 2 + d % 7
  print "  time = UNLIMITED ;\nvariables:"
  for (v = 0; v < vars; v++) {
    printf "  float var_%05d(time, dim%d) ;\n", v, v % 200
    printf "    var_%05d:units = \"K\" ;\n", v
  }
  print "}"
}' > "$work/records.cdl"
ncgen -k nc4 -o "$work/records_nc4.nc" "$work/records.cdl"
ncgen -k classic -o "$work/records_classic.nc" "$work/records.cdl"

# Best of three wall-clock times of a command, in seconds.
best_of_3() {
  local best=
  for _ in 1 2 3; do
    local t0 t1
    t0=$(date +%s.%N)
    "$@" > /dev/null
    t1=$(date +%s.%N)
    best=$(awk -v t0="$t0" -v t1="$t1" -v b="$best" \
      'BEGIN { t = t1 - t0; print (b == "" || t < b) ? t : b }')
  done
  echo "$best"
}

printf '%-16s %-5s %9s %9s %7s\n' file kind "time (s)" "ncdump -h" ratio
for file in records_nc4 records_classic; do
  ref=$(best_of_3 ncdump -h "$work/$file.nc")
  for kind in das dds ddx; do
    t=$(best_of_3 "$handler" -o "$kind" -u "http://localhost/$file.nc" "$work/$file.nc")
    printf '%-16s %-5s %9.3f %9.3f %7.2f\n' "$file" "$kind" "$t" "$ref" "$(awk -v t="$t" -v r="$ref" 'BEGIN { print t / r }')"
  done
done
echo "$vars variables over an unlimited dimension"
