// A VirtualDataSet as a netCDF-4 file held in memory: its dimensions,
// attributes and variables, and the values it holds itself. The handler's
// description of a file (DAS, DDS, DDX, pages) reads it as it reads any file;
// values the members hold are not in it.
#ifndef QVP_NC_VIRTUALIMAGE_H
#define QVP_NC_VIRTUALIMAGE_H

#include <string>

#include "VirtualDataSet.h"

namespace libqvp {

// The bytes of the netCDF-4 file that describes `ds`. `name` names the
// document in messages. Throws Error(internal_error) when netCDF refuses a
// part of it (an attribute _FillValue of another type than its variable's).
std::string write_image(const VirtualDataSet& ds, const std::string& name);

}  // namespace libqvp

#endif  // QVP_NC_VIRTUALIMAGE_H
