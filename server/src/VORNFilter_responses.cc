// VORNFilter: the DAS, DDS, DDX, data and version responses and the handler
// time-out. Each response is written once, as a template over the kind of
// output (FILE* or std::ostream); the two public forms only instantiate it,
// so they call the header writers, printers and marshallers of their own kind
// and flush at the same points (fflush for a FILE*, std::flush for a stream).
#include <libqvp/AlarmHandler.h>
#include <libqvp/BaseType.h>
#include <libqvp/ConstraintEvaluator.h>
#include <libqvp/DAS.h>
#include <libqvp/DDS.h>
#include <libqvp/Error.h>
#include <libqvp/SignalHandler.h>
#include <libqvp/VORNFilter.h>
#include <libqvp/XDRFileMarshaller.h>
#include <libqvp/XDRStreamMarshaller.h>
#include <libqvp/cgi_util.h>
#include <libqvp/write_all.h>
#include <unistd.h>

#include <csignal>
#include <memory>
#include <sstream>

#include "Sink.h"

namespace libqvp {
namespace {

// The sink and the marshaller that go with each kind of output.
template <class Out>
struct OutputKind;
template <>
struct OutputKind<FILE*> {
  using SinkType = FileSink;
  using Marshaller = XDRFileMarshaller;
};
template <>
struct OutputKind<std::ostream> {
  using SinkType = StreamSink;
  using Marshaller = XDRStreamMarshaller;
};

const char kFunctionRefused[] =
    "Function calls can only be used with data requests. To see the "
    "structure of the underlying data source, reissue the URL without the "
    "function.";
const char kFunctionFailed[] = "Error calling the CE function.";

}  // namespace

// The bodies of the twin operations. A nested class, so that it reads the
// filter's state directly while every step that a handler may replace is
// still called through the virtual table.
struct VORNFilter::Responder {
  // The conditional rule: true when the reply is a 304 header alone. The
  // If-Modified-Since time is asked only for a conditional request; equal
  // times count as unchanged.
  static bool not_modified(const VORNFilter& f, time_t lmt,
                           bool with_mime_headers) {
    return f.is_conditional() && lmt <= f.get_request_if_modified_since() &&
           with_mime_headers;
  }

  template <class Out>
  static void das(const VORNFilter& f, Out& out, DAS& das,
                  const std::string& anc_location, bool with_mime_headers) {
    typename OutputKind<Out>::SinkType sink(out);
    const time_t das_lmt = f.get_das_last_modified_time(anc_location);
    sink.begin();
    if (not_modified(f, das_lmt, with_mime_headers)) {
      set_mime_not_modified(out);
    } else {
      if (with_mime_headers)
        set_mime_text(out, vorn_das, f.d_cgi_ver, x_plain, das_lmt);
      das.print(out, false);
    }
    sink.flush();
  }

  template <class Out>
  static void dds(const VORNFilter& f, Out& out, DDS& dds,
                  ConstraintEvaluator& eval, bool constrained,
                  const std::string& anc_location, bool with_mime_headers) {
    typename OutputKind<Out>::SinkType sink(out);
    if (constrained) eval.parse_constraint(f.d_ce, dds);
    if (eval.functional_expression()) throw Error(kFunctionRefused);
    const time_t dds_lmt = f.get_dds_last_modified_time(anc_location);
    sink.begin();
    if (not_modified(f, dds_lmt, with_mime_headers)) {
      set_mime_not_modified(out);
    } else {
      if (with_mime_headers)
        set_mime_text(out, vorn_dds, f.d_cgi_ver, x_plain, dds_lmt);
      if (constrained)
        dds.print_constrained(out);
      else
        dds.print(out);
    }
    sink.flush();
  }

  // Never flushes: the caller or the end of the process does.
  template <class Out>
  static void ddx(const VORNFilter& f, DDS& dds, ConstraintEvaluator& eval,
                  Out& out, bool with_mime_headers) {
    if (!f.d_ce.empty()) eval.parse_constraint(f.d_ce, dds);
    if (eval.functional_expression()) throw Error(kFunctionRefused);
    const time_t dds_lmt = f.get_dds_last_modified_time(f.d_anc_dir);
    typename OutputKind<Out>::SinkType sink(out);
    sink.begin();
    if (not_modified(f, dds_lmt, with_mime_headers)) {
      set_mime_not_modified(out);
      return;
    }
    if (with_mime_headers)
      set_mime_text(out, qvp4_ddx, f.d_cgi_ver, x_plain, dds_lmt);
    dds.print_xml(out, !f.d_ce.empty(), f.d_url + ".blob?" + f.d_ce);
  }

  template <class Out>
  static void data(const VORNFilter& f, DDS& dds, ConstraintEvaluator& eval,
                   Out& out, const std::string& anc_location,
                   bool with_mime_headers) {
    typename OutputKind<Out>::SinkType sink(out);
    const time_t data_lmt = f.get_data_last_modified_time(anc_location);
    if (not_modified(f, data_lmt, with_mime_headers)) {
      set_mime_not_modified(out);  // not flushed, no time-out armed
      return;
    }
    f.establish_timeout(out);
    dds.set_timeout(f.d_timeout);
    eval.parse_constraint(f.d_ce, dds);
    dds.tag_nested_sequences();
    if (eval.functional_expression()) {
      // Owned here, so it is destroyed also when writing it throws.
      std::unique_ptr<BaseType> var(eval.eval_function(dds, f.d_dataset));
      if (!var) throw Error(usage_error, kFunctionFailed);
      sink.begin();
      if (with_mime_headers)
        set_mime_binary(out, vorn_data, f.d_cgi_ver, x_plain, data_lmt);
      sink.flush();
      f.functional_constraint(*var, dds, eval, out);
    } else {
      sink.begin();
      if (with_mime_headers)
        set_mime_binary(out, vorn_data, f.d_cgi_ver, x_plain, data_lmt);
      f.dataset_constraint(dds, eval, out);
    }
    sink.flush();
  }

  // The marshaller is a local object: it is released (every byte written)
  // when serialize returns and also when it throws. On the normal path it
  // is flushed first, so that a failed write is reported, not lost.
  template <class Out>
  static void dataset_body(const VORNFilter& f, DDS& dds,
                           ConstraintEvaluator& eval, Out& out) {
    typename OutputKind<Out>::SinkType sink(out);
    dds.print_constrained(out);
    write_all(out, "Data:\n");
    sink.flush();
    typename OutputKind<Out>::Marshaller m(out);
    for (auto i = dds.var_begin(); i != dds.var_end(); ++i) {
      if ((*i)->send_p()) (*i)->serialize(f.d_dataset, eval, dds, m, true);
    }
    m.flush();
  }

  template <class Out>
  static void function_body(const VORNFilter& f, BaseType& var, DDS& dds,
                            ConstraintEvaluator& eval, Out& out) {
    typename OutputKind<Out>::SinkType sink(out);
    std::ostringstream decl;
    var.print_decl(decl, "    ", true, false, true);
    write_all(out, "Dataset {\n" + decl.str() + "} function_value;\nData:\n");
    sink.flush();
    typename OutputKind<Out>::Marshaller m(out);
    var.serialize(f.d_dataset, eval, dds, m, false);
    m.flush();
  }

  // Registers a new AlarmHandler on `stream` and starts the alarm. The
  // displaced handler is deleted; if it was built on this same FILE* it hands
  // the FILE* over first, since deleting it would close the very stream the
  // response is about to be written to.
  template <class Out>
  static void arm_timeout(const VORNFilter& f, Out& stream) {
    if (f.d_timeout <= 0) return;
    SignalHandler* dispatcher = SignalHandler::instance();
    auto* handler = new AlarmHandler(stream);
    // SIGALRM is always in range, so registration cannot throw.
    EventHandler* old = dispatcher->register_handler(SIGALRM, handler, false);
    if (old) {
      auto* previous = dynamic_cast<AlarmHandler*>(old);
      if (previous && previous->file() && previous->file() == handler->file())
        previous->release_file();
      delete old;
    }
    alarm(static_cast<unsigned>(f.d_timeout));
  }
};

void VORNFilter::send_version_info() const {
  do_version(d_cgi_ver, get_dataset_version());
}

void VORNFilter::send_das(DAS& das, const std::string& anc_location,
                          bool with_mime_headers) const {
  send_das(stdout, das, anc_location, with_mime_headers);
}

void VORNFilter::send_das(FILE* out, DAS& das, const std::string& anc_location,
                          bool with_mime_headers) const {
  Responder::das(*this, out, das, anc_location, with_mime_headers);
}

void VORNFilter::send_das(std::ostream& out, DAS& das,
                          const std::string& anc_location,
                          bool with_mime_headers) const {
  Responder::das(*this, out, das, anc_location, with_mime_headers);
}

void VORNFilter::send_dds(DDS& dds, ConstraintEvaluator& eval, bool constrained,
                          const std::string& anc_location,
                          bool with_mime_headers) const {
  send_dds(stdout, dds, eval, constrained, anc_location, with_mime_headers);
}

void VORNFilter::send_dds(FILE* out, DDS& dds, ConstraintEvaluator& eval,
                          bool constrained, const std::string& anc_location,
                          bool with_mime_headers) const {
  Responder::dds(*this, out, dds, eval, constrained, anc_location,
                 with_mime_headers);
}

void VORNFilter::send_dds(std::ostream& out, DDS& dds,
                          ConstraintEvaluator& eval, bool constrained,
                          const std::string& anc_location,
                          bool with_mime_headers) const {
  Responder::dds(*this, out, dds, eval, constrained, anc_location,
                 with_mime_headers);
}

void VORNFilter::functional_constraint(BaseType& var, DDS& dds,
                                       ConstraintEvaluator& eval,
                                       FILE* out) const {
  Responder::function_body(*this, var, dds, eval, out);
}

void VORNFilter::functional_constraint(BaseType& var, DDS& dds,
                                       ConstraintEvaluator& eval,
                                       std::ostream& out) const {
  Responder::function_body(*this, var, dds, eval, out);
}

void VORNFilter::dataset_constraint(DDS& dds, ConstraintEvaluator& eval,
                                    FILE* out) const {
  Responder::dataset_body(*this, dds, eval, out);
}

void VORNFilter::dataset_constraint(DDS& dds, ConstraintEvaluator& eval,
                                    std::ostream& out) const {
  Responder::dataset_body(*this, dds, eval, out);
}

void VORNFilter::send_data(DDS& dds, ConstraintEvaluator& eval,
                           FILE* data_stream, const std::string& anc_location,
                           bool with_mime_headers) const {
  Responder::data(*this, dds, eval, data_stream, anc_location,
                  with_mime_headers);
}

void VORNFilter::send_data(DDS& dds, ConstraintEvaluator& eval,
                           std::ostream& data_stream,
                           const std::string& anc_location,
                           bool with_mime_headers) const {
  Responder::data(*this, dds, eval, data_stream, anc_location,
                  with_mime_headers);
}

void VORNFilter::send_ddx(DDS& dds, ConstraintEvaluator& eval, FILE* out,
                          bool with_mime_headers) const {
  Responder::ddx(*this, dds, eval, out, with_mime_headers);
}

void VORNFilter::send_ddx(DDS& dds, ConstraintEvaluator& eval,
                          std::ostream& out, bool with_mime_headers) const {
  Responder::ddx(*this, dds, eval, out, with_mime_headers);
}

void VORNFilter::send_blob(DDS&, FILE*, bool) {}

void VORNFilter::establish_timeout(FILE* stream) const {
  Responder::arm_timeout(*this, stream);
}

void VORNFilter::establish_timeout(std::ostream& stream) const {
  Responder::arm_timeout(*this, stream);
}

}  // namespace libqvp
