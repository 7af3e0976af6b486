// Throughput of the XDR marshallers on large numeric arrays, against two
// references measured in the same run: a plain memcpy + fwrite of the same
// number of output bytes (no byte swap) and libtirpc's element-by-element
// xdr_vector over xdrstdio. All output goes to /dev/null. The ratios are
// printed at the end; nothing here asserts a time.
#include <benchmark/benchmark.h>
#include <libqvp/Type.h>
#include <libqvp/XDRFileMarshaller.h>
#include <libqvp/XDRStreamMarshaller.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#ifdef QVP_HAVE_TIRPC
#include <rpc/xdr.h>
#endif

namespace {

using libqvp::Type;

constexpr size_t kOutputBytes = size_t{64} << 20;  // per array, in XDR
constexpr size_t kChunk = size_t{64} << 10;        // the reference's buffer

// Random source data shared by every case; each type reads its prefix.
const std::vector<char>& source() {
  static const std::vector<char> data = [] {
    std::vector<char> d(kOutputBytes);
    std::mt19937_64 rng(42);
    for (size_t i = 0; i + 8 <= d.size(); i += 8) {
      const uint64_t v = rng();
      std::memcpy(d.data() + i, &v, 8);
    }
    return d;
  }();
  return data;
}

size_t xdr_width(Type t) {
  return t == Type::Float64 ? 8 : t == Type::Byte ? 1 : 4;
}
size_t element_count(Type t) { return kOutputBytes / xdr_width(t); }

FILE* dev_null() {
  static FILE* f = fopen("/dev/null", "w");
  return f;
}

void set_counters(benchmark::State& state, Type t) {
  state.SetBytesProcessed(
      static_cast<int64_t>(state.iterations() * kOutputBytes));
  state.SetItemsProcessed(
      static_cast<int64_t>(state.iterations() * element_count(t)));
}

void BM_file(benchmark::State& state, Type t) {
  const char* data = source().data();
  for (auto _ : state) {
    libqvp::XDRFileMarshaller m(dev_null());
    m.put_values(data, element_count(t), t);
    m.flush();
  }
  set_counters(state, t);
}

void BM_stream(benchmark::State& state, Type t) {
  std::ofstream out("/dev/null", std::ios::binary);
  const char* data = source().data();
  for (auto _ : state) {
    libqvp::XDRStreamMarshaller m(out);
    m.put_values(data, element_count(t), t);
    m.flush();
  }
  set_counters(state, t);
}

// The same number of output bytes copied through a buffer of the
// marshaller's size and written with fwrite: the cost of the I/O alone.
void BM_memcpy_fwrite(benchmark::State& state, Type t) {
  std::vector<char> buf(kChunk);
  const char* data = source().data();
  for (auto _ : state) {
    for (size_t off = 0; off < kOutputBytes; off += kChunk) {
      const size_t n = std::min(kChunk, kOutputBytes - off);
      std::memcpy(buf.data(), data + off, n);
      benchmark::DoNotOptimize(buf.data());
      fwrite(buf.data(), 1, n, dev_null());
    }
  }
  set_counters(state, t);
}

#ifdef QVP_HAVE_TIRPC
xdrproc_t tirpc_proc(Type t) {
  switch (t) {
    case Type::Float64:
      return reinterpret_cast<xdrproc_t>(xdr_double);
    case Type::Float32:
      return reinterpret_cast<xdrproc_t>(xdr_float);
    case Type::Int16:
      return reinterpret_cast<xdrproc_t>(xdr_short);
    default:
      return reinterpret_cast<xdrproc_t>(xdr_u_char);
  }
}

// Element by element, as the C library encodes an array. (For Byte this
// writes 4 bytes per element; the comparison is per element.)
void BM_tirpc(benchmark::State& state, Type t) {
  char* data = const_cast<char*>(source().data());
  const size_t n = element_count(t);
  for (auto _ : state) {
    XDR xdrs;
    xdrstdio_create(&xdrs, dev_null(), XDR_ENCODE);
    u_int count = static_cast<u_int>(n);
    if (!xdr_vector(&xdrs, data, count,
                    static_cast<u_int>(libqvp::value_size(t)), tirpc_proc(t)))
      state.SkipWithError("xdr_vector failed");
    xdr_destroy(&xdrs);
    fflush(dev_null());
  }
  set_counters(state, t);
}
#endif

// Keeps the fastest time per iteration of each benchmark for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.error_occurred || r.run_type != Run::RT_Iteration) continue;
      const double n = static_cast<double>(r.iterations);
      const std::string name = r.run_name.function_name;
      keep_min(d_best, name, r.real_accumulated_time / n);
      keep_min(d_best_cpu, name, r.cpu_accumulated_time / n);
    }
  }

  void print_summary() const {
    std::printf(
        "\nThroughput ratios, fastest repetition, by wall-clock time and (in\n"
        "parentheses) by CPU time; wanted: >= 0.80 of memcpy+fwrite, >= 20x "
        "tirpc\n");
    std::printf("%-8s %-7s %8s %22s %22s\n", "type", "sink", "GB/s",
                "ours/memcpy+fwrite", "ours/tirpc");
    for (const char* type : {"Float64", "Float32", "Int16", "Byte"}) {
      const std::string ref = std::string("memcpy_fwrite/") + type;
      const std::string rpc = std::string("tirpc/") + type;
      for (const char* sink : {"file", "stream"}) {
        const std::string ours = std::string(sink) + "/" + type;
        const double t = best(d_best, ours), c = best(d_best_cpu, ours);
        if (t <= 0 || c <= 0) continue;
        std::printf("%-8s %-7s %8.2f %13.2f (%6.2f)", type, sink,
                    static_cast<double>(kOutputBytes) / t / 1e9,
                    best(d_best, ref) / t, best(d_best_cpu, ref) / c);
        if (best(d_best, rpc) > 0)
          std::printf(" %12.1fx (%6.1fx)\n", best(d_best, rpc) / t,
                      best(d_best_cpu, rpc) / c);
        else
          std::printf(" %22s\n", "n/a");
      }
    }
    std::printf(
        "(Byte: a run larger than the marshaller's buffer is written straight\n"
        "from the caller's memory with no copy, hence its large ratios.)\n");
  }

 private:
  using Times = std::map<std::string, double>;
  static void keep_min(Times& times, const std::string& name, double secs) {
    auto it = times.find(name);
    if (it == times.end() || secs < it->second) times[name] = secs;
  }
  static double best(const Times& times, const std::string& name) {
    auto it = times.find(name);
    return it == times.end() ? 0 : it->second;
  }
  Times d_best;
  Times d_best_cpu;
};

void register_all() {
  static const struct {
    const char* name;
    Type type;
  } types[] = {{"Float64", Type::Float64},
               {"Float32", Type::Float32},
               {"Int16", Type::Int16},
               {"Byte", Type::Byte}};
  for (const auto& t : types) {
    // Interleaved so that a noisy neighbour hurts ours and the references
    // alike.
    benchmark::RegisterBenchmark(
        (std::string("memcpy_fwrite/") + t.name).c_str(), BM_memcpy_fwrite,
        t.type)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Repetitions(3);
    benchmark::RegisterBenchmark((std::string("file/") + t.name).c_str(),
                                 BM_file, t.type)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Repetitions(3);
    benchmark::RegisterBenchmark((std::string("stream/") + t.name).c_str(),
                                 BM_stream, t.type)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Repetitions(3);
#ifdef QVP_HAVE_TIRPC
    benchmark::RegisterBenchmark((std::string("tirpc/") + t.name).c_str(),
                                 BM_tirpc, t.type)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Repetitions(2)
        ->Iterations(2);
#endif
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  source();  // build the data before any timing
  register_all();
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.print_summary();
  benchmark::Shutdown();
  return 0;
}
