// The check that lets a response refuse, before its header, 64-bit integers
// that it could only have sent rounded.
#ifndef QVP_NC_NCEXACTVALUES_H
#define QVP_NC_NCEXACTVALUES_H

namespace libqvp {

class DDS;

// Reads the selected values of every selected variable of `dds` that serves
// netCDF's 64-bit integers (serves_wide_integers), at the top level and
// inside Structures and Grids; other variables are not read. Throws
// Error(internal_error) naming the variable and the index of the first value
// that has no exact Float64 form ("big[2][7]"), and any Error of the
// readers. Call it after the constraint is applied.
void check_exact_values(const DDS& dds);

}  // namespace libqvp

#endif  // QVP_NC_NCEXACTVALUES_H
