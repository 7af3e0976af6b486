/* The reference for a time series across an aggregation's members: opens
 * each file named on the command line, reads sst[0][lat][lon], closes it.
 *   nc_point_loop LAT LON FILE...   prints the sum of the values read */
#include <netcdf.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  size_t index[3] = {0, (size_t)atol(argv[1]), (size_t)atol(argv[2])};
  double sum = 0;
  for (int i = 3; i < argc; ++i) {
    int ncid, varid;
    float v = 0;
    if (nc_open(argv[i], NC_NOWRITE, &ncid) != NC_NOERR) return 1;
    if (nc_inq_varid(ncid, "sst", &varid) != NC_NOERR ||
        nc_get_var1_float(ncid, varid, index, &v) != NC_NOERR)
      return 1;
    sum += v;
    nc_close(ncid);
  }
  printf("%g\n", sum);
  return 0;
}
