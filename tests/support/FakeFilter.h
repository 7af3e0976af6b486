// A VORNFilter whose request state is the test's: whether the request is
// conditional, its If-Modified-Since time and the data set's time, with
// counters of how often the times are asked for. Server tests only (it
// needs the server library).
#ifndef QVP_TEST_FAKEFILTER_H
#define QVP_TEST_FAKEFILTER_H

#include <libqvp/VORNFilter.h>

#include <ctime>
#include <string>

namespace libqvp {
namespace test {

// Tue, 14 Nov 2023 22:13:20 GMT: the fake data set's last-modified time.
constexpr time_t kLmt = 1700000000;

class FakeFilter : public VORNFilter {
 public:
  // Server revision "v1", URL "/data/sst.nc", data set "demo.nc",
  // ancillary directory "/anc/" and no constraint.
  explicit FakeFilter(bool conditional = false, time_t ims = kLmt,
                      time_t lmt = kLmt)
      : d_fake_conditional(conditional), d_ims(ims), d_lmt(lmt) {
    d_cgi_ver = "v1";
    d_url = "/data/sst.nc";
    d_dataset = "demo.nc";
    d_anc_dir = "/anc/";
  }
  void set_ce_raw(const std::string& ce) { d_ce = ce; }

  bool is_conditional() const override { return d_fake_conditional; }
  time_t get_request_if_modified_since() const override {
    ++d_ims_calls;
    return d_ims;
  }
  time_t get_das_last_modified_time(const std::string& anc) const override {
    return lmt(anc);
  }
  time_t get_dds_last_modified_time(const std::string& anc) const override {
    return lmt(anc);
  }
  time_t get_data_last_modified_time(const std::string& anc) const override {
    return lmt(anc);
  }
  std::string get_dataset_version() const override { return d_version; }

  mutable int d_ims_calls = 0;
  mutable int d_lmt_calls = 0;
  mutable std::string d_anc_seen;  // the ancillary location last asked with
  std::string d_version;

 private:
  time_t lmt(const std::string& anc) const {
    ++d_lmt_calls;
    d_anc_seen = anc;
    return d_lmt;
  }
  bool d_fake_conditional;
  time_t d_ims;
  time_t d_lmt;
};

}  // namespace test
}  // namespace libqvp

#endif  // QVP_TEST_FAKEFILTER_H
