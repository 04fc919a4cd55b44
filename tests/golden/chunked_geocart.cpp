// The tool's standard-input mode with the workers and the chunk size given
// on the command line, so that tests can cut the input into small chunks and
// run threads on any machine, and with the most bytes of full blocks handed
// to a regular file in one call (below two blocks: one write a block):
//   chunked_geocart WORKERS CHUNK_BYTES [BYTES_A_WRITE]
#include <cstdlib>

#include "conversion.h"
#include "output_stream.h"
#include "parallel_conversion.h"
#include "point_loop.h"

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) return 2;
  geocart::ParallelTuning tuning;
  tuning.workers = static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10));
  tuning.chunkBytes = std::strtoul(argv[2], nullptr, 10);
  if (argc == 4) recio::OutputStream::setBytesAWrite(std::strtoul(argv[3], nullptr, 10));
  geocart::PointState state;
  state.factor = geocart::degreeFactor();
  geocart::runPointLoop(state, true, tuning);
  return 0;
}
