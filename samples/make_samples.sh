#!/bin/sh
# Writes the sample data sets into a directory:
#   make_samples.sh OUT_DIR [NC_RAMP]
# Each CDL file beside this script becomes OUT_DIR/<name>.nc (names.cdl and
# model.cdl as netCDF-4, the others in the classic format). With NC_RAMP (the
# path of the nc_ramp program) OUT_DIR/ramp.nc is written too: a 2048 x 2048
# float variable of 16 MiB, large enough to be read and sent in many boxes.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out=$1
mkdir -p "$out"
for cdl in "$here"/*.cdl; do
  name=$(basename "$cdl" .cdl)
  kind=classic
  case $name in names | model) kind=nc4 ;; esac
  ncgen -k "$kind" -o "$out/$name.nc" "$cdl"
done
if [ $# -ge 2 ]; then
  "$2" "$out/ramp.nc" 2048 2048
fi
