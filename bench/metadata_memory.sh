#!/bin/bash
# Address space that the largest legitimate metadata responses need: big
# real-shaped files (thousands of variables, each with a dozen attributes,
# hundreds of global attributes; classic and netCDF-4) are generated, and for
# each response kind the smallest address-space cap (ulimit -v, searched in
# steps of 8 MiB) under which qvp_nc_handler still writes the same response
# as without a cap is reported beside the handler's own cap.
#   metadata_memory.sh [VARIABLES]   (default 5000)
source "$(dirname "$0")/bench_env.sh"
vars=${1:-5000}

# CDL of a file with `vars` variables over 200 dimensions.
make_cdl() {
  awk -v vars="$vars" 'BEGIN {
    print "netcdf big {\ndimensions:"
    for (d = 0; d < 200; d++) printf "  dim%d = %d ;\n", d, 2 + d % 7
    print "  time = 4 ;\nvariables:"
    for (v = 0; v < vars; v++) {
      printf "  float var_%05d(time, dim%d, dim%d) ;\n", v, v % 200, (v * 7) % 200
      printf "    var_%05d:long_name = \"Variable number %d of a large instrument file\" ;\n", v, v
      printf "    var_%05d:standard_name = \"quantity_%d\" ;\n", v, v
      printf "    var_%05d:units = \"kg m-2 s-1\" ;\n", v
      printf "    var_%05d:_FillValue = -9999.f ;\n", v
      printf "    var_%05d:valid_range = -1000.f, 1000.f ;\n", v
      printf "    var_%05d:scale_factor = 0.01f ;\n", v
      printf "    var_%05d:add_offset = 273.15f ;\n", v
      printf "    var_%05d:coordinates = \"lat lon time\" ;\n", v
      printf "    var_%05d:comment = \"Calibrated with the coefficients of campaign %d; see the processing log for details.\" ;\n", v, v
      printf "    var_%05d:flag_values = 0s, 1s, 2s, 4s, 8s, 16s ;\n", v
      printf "    var_%05d:flag_meanings = \"good suspect bad missing interpolated estimated\" ;\n", v
      printf "    var_%05d:history = \"created 2024-01-01; regridded 2024-02-01\" ;\n", v
    }
    for (g = 0; g < 300; g++)
      printf "  :global_%03d = \"Global attribute %d of the data set, of a realistic length for metadata\" ;\n", g, g
    print "}"
  }'
}

make_cdl > "$work/big.cdl"
ncgen -k classic -o "$work/big_classic.nc" "$work/big.cdl"
ncgen -k nc4 -o "$work/big_nc4.nc" "$work/big.cdl"

# Runs the handler under a cap of $1 KiB; prints the response's checksum.
run_capped() {
  (ulimit -v "$1"; "$handler" -o "$2" "$3" 2>/dev/null | sed '/^Date: /d;/^Last-Modified: /d' | md5sum)
}

printf '%-12s %-5s %10s %14s\n' file kind size "min cap (MiB)"
for file in big_classic big_nc4; do
  for kind in das dds ddx; do
    want=$("$handler" -o "$kind" "$work/$file.nc" | sed '/^Date: /d;/^Last-Modified: /d' | md5sum)
    bytes=$("$handler" -o "$kind" "$work/$file.nc" | wc -c)
    lo=8; hi=2048  # MiB; the answer lies in (lo, hi]
    while (( hi - lo > 8 )); do
      mid=$(( (lo + hi) / 2 ))
      if [[ $(run_capped $((mid * 1024)) "$kind" "$work/$file.nc") == "$want" ]]; then
        hi=$mid
      else
        lo=$mid
      fi
    done
    printf '%-12s %-5s %10d %14d\n' "$file" "$kind" "$bytes" "$hi"
  done
done
echo "file sizes: classic $(stat -c %s "$work/big_classic.nc") B," \
  "netCDF-4 $(stat -c %s "$work/big_nc4.nc") B; $vars variables"
