// The tool's standard-input mode with the workers and the chunk size given
// on the command line, so that tests can cut the input into small chunks and
// run threads on any machine; with a third argument, the most bytes of full
// blocks handed to a regular file in one call (below two blocks: one write
// a block; "-": as the tool chooses); with a fourth, the bytes of input that
// the workers converted and that the owning thread read itself are written
// to that file when the input has ended:
//   chunked_geocart WORKERS CHUNK_BYTES [BYTES_A_WRITE|- [SHARE_FILE]]
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "conversion.h"
#include "output_stream.h"
#include "parallel_conversion.h"
#include "point_loop.h"

int main(int argc, char** argv) {
  if (argc < 3 || argc > 5) return 2;
  geocart::ParallelTuning tuning;
  tuning.workers = static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10));
  tuning.chunkBytes = std::strtoul(argv[2], nullptr, 10);
  if (argc >= 4 && std::strcmp(argv[3], "-") != 0) {
    recio::OutputStream::setBytesAWrite(std::strtoul(argv[3], nullptr, 10));
  }
  geocart::PointState state;
  state.factor = geocart::degreeFactor();
  geocart::runPointLoop(state, true, tuning);
  if (argc == 5) {
    std::FILE* file = std::fopen(argv[4], "w");
    if (file == nullptr) return 3;
    const geocart::ParallelShare share = geocart::lastParallelShare();
    std::fprintf(file, "%" PRId64 " %" PRId64 "\n", share.workerBytes, share.ownBytes);
    if (std::fclose(file) != 0) return 3;
  }
  return 0;
}
