// The page of one data set: its title and global attributes, each variable
// with its type, dimensions and attributes, the user-supplied document, and
// a form that builds a constraint expression (a checkbox per variable,
// start/stride/stop per dimension) with links that fetch the selection as
// binary data, CSV, a netCDF file, an image, DDS and DAS, and a preview
// image of each numeric variable of two or more dimensions (its first 2-D
// slice, loaded lazily). Private to the server library.
#ifndef LIBQVP_DATASETPAGE_H
#define LIBQVP_DATASETPAGE_H

#include <libqvp/DDS.h>

#include <ostream>
#include <string>

namespace libqvp {

class DataSetPage {
 public:
  // `dds` carries the attributes (DDS::transfer_attributes) and must
  // outlive this object. `url_name` is the data set's name as the last
  // segment of its URL, percent-encoded ("sst.nc"); links are relative to
  // it. `docs` is the user-supplied HTML, shown as it is ("" for none).
  DataSetPage(const DDS& dds, std::string url_name, std::string docs);

  // Writes the whole HTML document. Without JavaScript the page shows
  // everything and links to each whole variable; the script builds the
  // constraint from the form, shows it in an editable field and keeps the
  // links in step with that field.
  void write(std::ostream& out) const;

 private:
  void write_attributes(std::ostream& out, const AttrTable& t) const;
  // `v` as a fieldset of the form; `path` is the escaped path of the
  // structures that hold it ("grp." for a member of grp), "" at the top.
  void write_variable(std::ostream& out, const BaseType& v,
                      const std::string& path) const;

  const DDS& d_dds;
  std::string d_url_name;
  std::string d_docs;
};

}  // namespace libqvp

#endif  // LIBQVP_DATASETPAGE_H
