// Faster readers for the arrays of a data response: values of classic files
// sent as they lie on disk, and netCDF-4 chunk caches sized for the boxes
// that a response reads.
#ifndef QVP_NC_NCFASTPATH_H
#define QVP_NC_NCFASTPATH_H

#include <libqvp/DDS.h>

#include <cstddef>
#include <cstdio>
#include <vector>

#include "NcFile.h"

namespace libqvp {

// For each array of `dds` (top-level, and the array and maps of each Grid)
// that serves a variable of `file` of the same name: in a classic-format
// file, an encoded reader where the variable's bytes are its XDR encoding
// (RawRunReader); in a netCDF-4 file, the variable's chunk cache sized so
// that boxes over the whole variable read each chunk once. Arrays keep their
// box readers. `file` must stay open while `dds` is used. Throws Error when
// netCDF fails.
void install_fast_readers(const NcFile& file, DDS& dds);

// When `out` is a pipe, asks the kernel for a larger pipe buffer (up to
// kOutputPipeBytes, within the system's limit), so that a large response
// goes out in fewer, larger steps with fewer switches between writer and
// reader. Anything else, and any refusal, leaves `out` as it is.
void enlarge_output_pipe(FILE* out);

constexpr int kOutputPipeBytes = 1 << 20;

// The chunk cache, in bytes, that lets boxes of a selection read each chunk
// once: the chunks of one layer of the outermost dimension along which a
// chunk spans several selected indices, and one chunk to spare. `chunk` holds
// the chunk's extent, `first`/`last` the first and last selected index of each
// dimension; `value_bytes` is the size of one value. Capped at
// kMaxChunkCacheBytes.
size_t chunk_cache_bytes(const std::vector<size_t>& chunk,
                         const std::vector<size_t>& first,
                         const std::vector<size_t>& last, size_t value_bytes);

// Leaves a response's peak resident size under 64 MiB.
constexpr size_t kMaxChunkCacheBytes = size_t{40} << 20;

}  // namespace libqvp

#endif  // QVP_NC_NCFASTPATH_H
