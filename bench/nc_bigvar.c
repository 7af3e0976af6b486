/* nc_bigvar: writes a netCDF file with one large two-dimensional variable,
 * for the throughput benchmark (such files are never kept).
 *
 *   nc_bigvar OUT.nc FORMAT TYPE ROWS COLS
 *
 * FORMAT: classic, 64bit, cdf5, nc4 (chunked, uncompressed) or nc4z (chunked,
 * deflate level 1 with shuffle); netCDF-4 chunks are 256 x 1024 values.
 * TYPE: short, int, float or double. The variable v(row, col) holds a smooth
 * field plus noise, so that deflate finds what real data offers. Rows are
 * written a bounded slab at a time. */
#include <math.h>
#include <netcdf.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define SLAB_VALUES (1u << 20)

static void check(int status, const char* what) {
  if (status != NC_NOERR) {
    fprintf(stderr, "nc_bigvar: %s: %s\n", what, nc_strerror(status));
    exit(1);
  }
}

int main(int argc, char** argv) {
  if (argc != 6) {
    fprintf(stderr, "usage: nc_bigvar OUT.nc FORMAT TYPE ROWS COLS\n");
    return 2;
  }
  const char* format = argv[2];
  const char* type = argv[3];
  const size_t rows = strtoull(argv[4], NULL, 10);
  const size_t cols = strtoull(argv[5], NULL, 10);
  int mode = NC_CLOBBER, deflate = 0;
  if (strcmp(format, "64bit") == 0)
    mode |= NC_64BIT_OFFSET;
  else if (strcmp(format, "cdf5") == 0)
    mode |= NC_64BIT_DATA;
  else if (strcmp(format, "nc4") == 0)
    mode |= NC_NETCDF4;
  else if (strcmp(format, "nc4z") == 0)
    mode |= NC_NETCDF4, deflate = 1;
  else if (strcmp(format, "classic") != 0)
    return 2;
  nc_type xtype = strcmp(type, "short") == 0    ? NC_SHORT
                  : strcmp(type, "int") == 0    ? NC_INT
                  : strcmp(type, "double") == 0 ? NC_DOUBLE
                                                : NC_FLOAT;
  int ncid, dims[2], varid;
  check(nc_create(argv[1], mode, &ncid), "create");
  check(nc_def_dim(ncid, "row", rows, &dims[0]), "def_dim row");
  check(nc_def_dim(ncid, "col", cols, &dims[1]), "def_dim col");
  check(nc_def_var(ncid, "v", xtype, 2, dims, &varid), "def_var");
  if (mode & NC_NETCDF4) {
    size_t chunk[2] = {rows < 256 ? rows : 256, cols < 1024 ? cols : 1024};
    check(nc_def_var_chunking(ncid, varid, NC_CHUNKED, chunk), "chunking");
    if (deflate) check(nc_def_var_deflate(ncid, varid, 1, 1, 1), "deflate");
  }
  check(nc_set_fill(ncid, NC_NOFILL, NULL), "set_fill");
  check(nc_enddef(ncid), "enddef");

  size_t slab_rows = SLAB_VALUES / cols;
  if (slab_rows == 0) slab_rows = 1;
  double* buf = malloc(slab_rows * cols * sizeof(double));
  if (buf == NULL) return 1;
  double* col_wave = malloc(cols * sizeof(double));
  if (col_wave == NULL) return 1;
  for (size_t c = 0; c < cols; ++c) col_wave[c] = cos(c * 0.002);
  unsigned seed = 12345;
  for (size_t r0 = 0; r0 < rows; r0 += slab_rows) {
    size_t n = rows - r0 < slab_rows ? rows - r0 : slab_rows;
    for (size_t r = 0; r < n; ++r) {
      const double row_wave = 1000.0 * sin((r0 + r) * 0.001);
      double* out = buf + r * cols;
      for (size_t c = 0; c < cols; ++c) {
        seed = seed * 1103515245u + 12345u;
        out[c] = row_wave * col_wave[c] + (double)((seed >> 16) & 0xFF) / 16.0;
      }
    }
    size_t start[2] = {r0, 0}, count[2] = {n, cols};
    check(nc_put_vara_double(ncid, varid, start, count, buf), "put_vara");
  }
  free(buf);
  free(col_wave);
  check(nc_close(ncid), "close");
  return 0;
}
