// Values written in an NcML document: attribute values, a new variable's
// <values>, a member's coordValue, each as typed netCDF values.
#ifndef QVP_NC_NCMLVALUES_H
#define QVP_NC_NCMLVALUES_H

#include <netcdf.h>

#include <cstddef>
#include <string>
#include <vector>

#include "NcmlDocument.h"
#include "VirtualDataSet.h"

namespace libqvp {

// The netCDF type that an NcML type name stands for: byte NC_BYTE, short,
// int, long (64 bits) NC_INT64, float, double, the unsigned ubyte ushort uint
// ulong, char NC_CHAR; String NC_CHAR for an attribute and NC_STRING for a
// variable. NC_NAT for an unknown name.
nc_type ncml_type(const std::string& name, bool attribute);

// Splits `text` at `separator`, or at blanks (and commas) when it is empty;
// empty pieces are dropped.
std::vector<std::string> split_values(const std::string& text,
                                      const std::string& separator);

// `a`'s value as an attribute of type `type`. Throws Error(internal_error)
// with `where` first when a value is not a number of that type's range.
VirtualAttribute attribute_of(const NcmlAttribute& a, nc_type type,
                              const std::string& where);

// Fills `v.values` (or `v.strings`) with `count` values of `v.type` from
// `values`: its text, or start + i * increment. Throws Error(internal_error)
// with `where` first when there are not `count` values or one does not fit.
void fill_values(const NcmlValues& values, size_t count, VirtualVariable& v,
                 const std::string& where);

// Parses `text` as numbers (blank- or comma-separated); false when one is not.
bool parse_numbers(const std::string& text, std::vector<double>& out);

// Appends `x` to `bytes` as one native value of `type`; false when `x` is not
// a value of that type (a fraction for an integer type, or out of range).
bool append_value(nc_type type, double x, std::string& bytes);

}  // namespace libqvp

#endif  // QVP_NC_NCMLVALUES_H
