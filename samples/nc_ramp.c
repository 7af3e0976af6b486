/* nc_ramp: writes a netCDF file with one large variable, for the demo, the
 * end-to-end tests and the memory benchmark (such files are never kept in
 * the repository).
 *
 *   nc_ramp OUT.nc ROWS COLS
 *
 * The file (64-bit offset format) holds float ramp(row, col) with
 * ramp[r][c] = (r * COLS + c) mod 2^24, each value exact in a float. Rows are
 * written a bounded slab at a time, so memory stays small for any size. */
#include <netcdf.h>
#include <stdio.h>
#include <stdlib.h>

#define SLAB_VALUES (1u << 20)

static void check(int status, const char* what) {
  if (status != NC_NOERR) {
    fprintf(stderr, "nc_ramp: %s: %s\n", what, nc_strerror(status));
    exit(1);
  }
}

static size_t parse_size(const char* text) {
  char* end = NULL;
  unsigned long long v = strtoull(text, &end, 10);
  if (*text == '\0' || *end != '\0' || v == 0 || v > (1ull << 31)) {
    fprintf(stderr, "nc_ramp: bad size \"%s\"\n", text);
    exit(2);
  }
  return (size_t)v;
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: nc_ramp OUT.nc ROWS COLS\n");
    return 2;
  }
  const size_t rows = parse_size(argv[2]);
  const size_t cols = parse_size(argv[3]);
  int ncid, dims[2], varid;
  check(nc_create(argv[1], NC_CLOBBER | NC_64BIT_OFFSET, &ncid), "create");
  check(nc_def_dim(ncid, "row", rows, &dims[0]), "def_dim row");
  check(nc_def_dim(ncid, "col", cols, &dims[1]), "def_dim col");
  check(nc_def_var(ncid, "ramp", NC_FLOAT, 2, dims, &varid), "def_var");
  static const char kLongName[] = "(row * COLS + col) mod 2^24";
  check(nc_put_att_text(ncid, varid, "long_name", sizeof kLongName - 1,
                        kLongName),
        "put_att");
  check(nc_set_fill(ncid, NC_NOFILL, NULL), "set_fill");
  check(nc_enddef(ncid), "enddef");

  size_t slab_rows = SLAB_VALUES / cols;
  if (slab_rows == 0) slab_rows = 1;
  float* buf = malloc(slab_rows * cols * sizeof(float));
  if (buf == NULL) return 1;
  for (size_t r0 = 0; r0 < rows; r0 += slab_rows) {
    size_t n = rows - r0 < slab_rows ? rows - r0 : slab_rows;
    for (size_t i = 0; i < n * cols; ++i)
      buf[i] = (float)((r0 * cols + i) & 0xFFFFFFu);
    size_t start[2] = {r0, 0}, count[2] = {n, cols};
    check(nc_put_vara_float(ncid, varid, start, count, buf), "put_vara");
  }
  free(buf);
  check(nc_close(ncid), "close");
  return 0;
}
