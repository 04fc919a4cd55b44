// Standard input converted by worker threads: the chunks, the workers that
// read them in memory, and the thread that owns the standard streams, which
// reads ahead, accepts what the workers kept and reads the rest itself.
#include "parallel_conversion.h"

#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "char_source.h"
#include "convert_stage.h"
#include "descriptor_io.h"
#include "edit_stage.h"
#include "failure.h"
#include "field_editor.h"
#include "output_stream.h"
#include "point_loop.h"
#include "reader_state.h"
#include "units.h"

namespace geocart {
namespace {

constexpr unsigned mostWorkers = 16;
constexpr std::size_t defaultChunkBytes = std::size_t{128} << 10;
// A chunk's output area, in chunk sizes. Result lines are at most 59 bytes
// a group; the chunks are made smaller when the input runs shorter than a
// quarter of that (see chunkTarget).
constexpr std::size_t outputPerInput = 4;
// Chunks in flight for each worker: one being converted, the next ones
// waiting, while the owning thread writes out the oldest.
constexpr std::size_t chunksPerWorker = 3;
constexpr std::size_t workerStackBytes = std::size_t{1} << 20;
// Least bytes a chunk asks the input for beyond the bytes carried over.
constexpr std::size_t leastRead = 4096;

struct Chunk {
  // Set by the owning thread before the chunk is queued.
  char* input = nullptr;
  std::size_t length = 0;
  std::int64_t start = 0;   // stream position of input[0]
  bool dispatched = false;  // given to a worker
  bool decided = false;     // the owning thread is done with its kept groups
  // Set by the worker before the chunk is done.
  char* output = nullptr;
  std::size_t outputLength = 0;
  // For each kept group in order, where its line ends in the output and
  // the group in the chunk: lines of them.
  std::uint32_t* lineEnd = nullptr;
  std::uint32_t* groupEnd = nullptr;
  std::size_t lines = 0;
  std::int64_t keptStart = -1;  // the kept groups, in chunk positions; -1: none
  std::int64_t keptEnd = 0;
  GeodeticPoint lastPoint;  // the values after the last kept group
  PointLabel lastLabel;
  bool done = false;  // under the pool's mutex
};

// A worker's own: its source over the chunk, its statement state and the
// batch its stages work through.
struct WorkerTools {
  recio::CharSource source;
  recio::ReaderState reader;
  GroupBatch batch;
};

// Which groups' lines a worker writes, not knowing the values before its
// chunk: those from the first after which all four items have been assigned.
// Records where they lie in the chunk.
struct KeptGroups {
  unsigned known = 0;        // items assigned so far
  std::int64_t start = -1;   // position of the first kept group; -1: none yet
  std::int64_t end = 0;      // position after the last kept group
};

// Kept lines a chunk can record: as many as its output area holds of the
// shortest.
std::size_t lineCapacity(std::size_t outputRoom) noexcept {
  return outputRoom / shortestResultLine + 1;
}

// Records where the kept lines of the batch, which start at `line` in the
// chunk's output, end, and where their groups do.
void recordLines(Chunk& chunk, const GroupBatch& batch, std::size_t line) noexcept {
  for (std::size_t i = 0; i < batch.count; ++i) {
    line += resultLineLength(batch.label[i]);
    chunk.lineEnd[chunk.lines] = static_cast<std::uint32_t>(line);
    chunk.groupEnd[chunk.lines] = static_cast<std::uint32_t>(batch.end[i]);
    ++chunk.lines;
  }
}

// The chunk's groups, converted into its output area by the stages of the
// one-thread loop. A group is read only while the area has room for more
// than the longest line, as many at once as certainly find it.
void convertChunk(Chunk& chunk, std::size_t outputRoom, double factor,
                  WorkerTools& tools) noexcept {
  recio::CharSource& source = tools.source;
  source.openChunk(chunk.input, chunk.length);
  recio::OutputStream output;
  output.openMemory(chunk.output, outputRoom);
  PointState state;
  state.factor = factor;
  GroupReader groups = GroupReader::detached(tools.reader, source);
  GroupBatch& batch = tools.batch;
  KeptGroups kept;
  chunk.lines = 0;
  const std::size_t mostLines = lineCapacity(outputRoom);
  while (output.room() > longestResultLine && chunk.lines < mostLines) {
    const std::size_t most = std::min({(output.room() - 1) / longestResultLine,
                                       GroupBatch::capacity, mostLines - chunk.lines});
    const std::int64_t start = source.position();
    if (groups.read(batch, most, state) != recio::success) break;
    kept.known |= batch.assigned;
    if (kept.known != everyItem) continue;
    if (kept.start < 0) kept.start = start;
    kept.end = source.position();
    convertPoints(batch, factor);
    const std::size_t before = output.written();
    putResultLines(batch, output);
    recordLines(chunk, batch, before);
  }
  chunk.keptStart = kept.start;
  chunk.keptEnd = kept.end;
  chunk.outputLength = output.written();
  chunk.lastPoint = state.point;
  chunk.lastLabel = state.label;
}

// The workers and the queue of chunks waiting for one.
class WorkerPool {
 public:
  WorkerPool(Chunk** queue, std::size_t capacity, std::size_t outputRoom, double factor) noexcept
      : queue_(queue), capacity_(capacity), outputRoom_(outputRoom), factor_(factor) {}

  // Starts up to `count` workers with every signal blocked, so that signals
  // meant for the process reach the owning thread. Returns how many started.
  unsigned start(unsigned count) noexcept {
    // A stack of its own size: a worker keeps its character source (66 KiB)
    // there, whatever the stack limit the process was given.
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) return 0;
    pthread_attr_setstacksize(&attributes, workerStackBytes);
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    while (started_ < count && started_ < mostWorkers &&
           pthread_create(&threads_[started_], &attributes, &WorkerPool::main, this) == 0) {
      ++started_;
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    pthread_attr_destroy(&attributes);
    return started_;
  }

  void enqueue(Chunk& chunk) noexcept {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      chunk.done = false;
      queue_[(first_ + waiting_) % capacity_] = &chunk;
      ++waiting_;
    }
    work_.notify_one();
  }

  void waitUntilDone(Chunk& chunk) noexcept {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] { return chunk.done; });
  }

  // The workers finish the chunk in hand and end; waiting chunks are dropped.
  void stop() noexcept {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
      waiting_ = 0;
    }
    work_.notify_all();
    for (unsigned i = 0; i < started_; ++i) pthread_join(threads_[i], nullptr);
    started_ = 0;
  }

 private:
  static void* main(void* pool) noexcept {
    static_cast<WorkerPool*>(pool)->work();
    return nullptr;
  }

  void work() noexcept {
    WorkerTools tools;
    for (;;) {
      Chunk* chunk;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        work_.wait(lock, [&] { return stopping_ || waiting_ > 0; });
        if (stopping_) return;
        chunk = queue_[first_];
        first_ = (first_ + 1) % capacity_;
        --waiting_;
      }
      convertChunk(*chunk, outputRoom_, factor_, tools);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        chunk->done = true;
      }
      done_.notify_one();
    }
  }

  std::mutex mutex_;
  std::condition_variable work_;
  std::condition_variable done_;
  Chunk** queue_;
  std::size_t capacity_;
  std::size_t first_ = 0;
  std::size_t waiting_ = 0;
  bool stopping_ = false;
  const std::size_t outputRoom_;
  const double factor_;
  pthread_t threads_[mostWorkers];
  unsigned started_ = 0;
};

// The owning thread's side: the chunks in stream order, the bytes read after
// the last of them, and standard input's source, which reads through this
// feed so that bytes read ahead are read once.
class ParallelRun final : public recio::ByteFeed, public recio::ReadingPerByte {
 public:
  ParallelRun(Chunk* ring, std::size_t slots, char* carried, std::size_t chunkBytes,
              std::size_t outputRoom, bool pipe, WorkerPool& pool,
              recio::CharSource& source) noexcept
      : ring_(ring), slots_(slots), carried_(carried), chunkBytes_(chunkBytes),
        outputRoom_(outputRoom), pipe_(pipe), pool_(pool), source_(source) {}

  // Converts to the end of the input.
  void run(PointState& state) noexcept {
    for (;;) {
      readAhead();
      if (count_ == 0) {
        // No chunk: what is left (a part of a line, the rest of a block the
        // source read for itself, or nothing at the end) is read with the
        // one-thread steps, which wait for input only where they need it.
        if (!convertNextGroup(state)) return;
        continue;
      }
      Chunk& chunk = ring_[oldest_];
      const std::int64_t at = source_.position();
      if (chunk.start + static_cast<std::int64_t>(chunk.length) <= at) {
        retireOldest();
        continue;
      }
      if (!chunk.decided && chunk.dispatched && chunk.start == at) {
        if (!accept(chunk, state)) return;
        continue;
      }
      // Past the chunk's start its kept groups are of no use; before it (the
      // source read past the frontier for itself) they may still be.
      if (at > chunk.start) chunk.decided = true;
      if (!convertNextGroup(state)) return;
    }
  }

  // Waits for the workers still reading chunks of this run.
  void finish() noexcept {
    while (count_ > 0) retireOldest();
  }

  ParallelShare share() const noexcept {
    const auto accepted = static_cast<std::int64_t>(acceptedIn_);
    return {accepted, source_.position() - accepted};
  }

  long fill(std::int64_t offset, char* into, std::size_t room) noexcept override {
    for (std::size_t i = 0; i < count_; ++i) {
      const Chunk& chunk = ring_[(oldest_ + i) % slots_];
      const std::int64_t end = chunk.start + static_cast<std::int64_t>(chunk.length);
      if (offset >= chunk.start && offset < end) {
        return copyOut(chunk.input + (offset - chunk.start), end - offset, into, room);
      }
    }
    const std::int64_t carriedStart = frontier_ - static_cast<std::int64_t>(carriedLength_);
    if (offset >= carriedStart && offset < frontier_) {
      return copyOut(carried_ + (offset - carriedStart), frontier_ - offset, into, room);
    }
    // The source asks only for bytes after those it has: everything before
    // the frontier that it has not is in a chunk or carried over. Past the
    // frontier the source reads for itself; the chunks begin after that.
    if (readError_ != 0) {
      errno = readError_;
      return -1;
    }
    if (inputEnded_) return 0;
    const long n = readInput(into, room);
    if (n > 0) {
      frontier_ += n;
      carriedLength_ = 0;
    }
    return n;
  }

 private:
  static long copyOut(const char* from, std::int64_t available, char* into,
                      std::size_t room) noexcept {
    const auto n = static_cast<std::size_t>(std::min<std::int64_t>(
        available, static_cast<std::int64_t>(room)));
    std::memcpy(into, from, n);
    return static_cast<long>(n);
  }

  // One read of descriptor 0, waiting when it is non-blocking and empty;
  // records the end of input and a refusal.
  long readInput(char* into, std::size_t room) noexcept {
    recio::OutputStream::beforeWaitingForInput(STDIN_FILENO);
    const long n = recio::readSome(STDIN_FILENO, into, room);
    if (n == 0) inputEnded_ = true;
    if (n < 0) readError_ = errno;
    return n;
  }

  bool readableNow() const noexcept {
    if (!pipe_) return true;
    pollfd p{STDIN_FILENO, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
  }

  // Keeps the workers fed: reads while a slot is free, and waits for input
  // only when nothing read is left to convert, not even a part of a line:
  // one thread decides all it can from the bytes in hand before it waits.
  void readAhead() noexcept {
    while (count_ < slots_ && !inputEnded_ && readError_ == 0) {
      const bool inHand = count_ > 0 || source_.position() < frontier_;
      if (inHand && !readableNow()) return;
      readChunk();
    }
  }

  // Input bytes for the next chunk: fewer than the slot holds when the
  // results have run longer than the output area takes of a full chunk.
  std::size_t chunkTarget() const noexcept {
    std::size_t target = chunkBytes_;
    if (acceptedOut_ > 0) {
      const double fits = static_cast<double>(outputRoom_) * 0.875 *
                          static_cast<double>(acceptedIn_) / static_cast<double>(acceptedOut_);
      if (fits < static_cast<double>(target)) {
        target = std::max(static_cast<std::size_t>(fits), leastRead);
      }
    }
    return std::clamp(carriedLength_ + leastRead, target, chunkBytes_);
  }

  // Reads into the next free slot behind the bytes carried over, and cuts a
  // chunk at its last line end; what follows is carried to the next one.
  void readChunk() noexcept {
    Chunk& chunk = ring_[(oldest_ + count_) % slots_];
    const std::size_t target = chunkTarget();
    std::memcpy(chunk.input, carried_, carriedLength_);
    std::size_t length = carriedLength_;
    chunk.start = frontier_ - static_cast<std::int64_t>(carriedLength_);
    for (;;) {
      const long n = readInput(chunk.input + length, target - length);
      if (n <= 0) break;
      length += static_cast<std::size_t>(n);
      frontier_ += n;
      if (length == target || !readableNow()) break;
    }
    const void* lastLineEnd = ::memrchr(chunk.input, '\n', length);
    std::size_t cut = 0;
    if (lastLineEnd != nullptr) {
      cut = static_cast<std::size_t>(static_cast<const char*>(lastLineEnd) - chunk.input) + 1;
    } else if (length == target || inputEnded_ || readError_ != 0) {
      cut = length;  // no line end to cut at: the bytes go as they are
    }
    carriedLength_ = length - cut;
    std::memcpy(carried_, chunk.input + cut, carriedLength_);
    if (cut == 0) return;
    chunk.length = cut;
    chunk.decided = false;
    // A chunk without a line end can keep no group: it is only read here.
    chunk.dispatched = lastLineEnd != nullptr;
    ++count_;
    if (chunk.dispatched) pool_.enqueue(chunk);
  }

  // The reading stands at the chunk's start: the groups before the kept ones
  // are read here, then the kept lines go out as they are. False at the end
  // of the input.
  bool accept(Chunk& chunk, PointState& state) noexcept {
    pool_.waitUntilDone(chunk);
    chunk.decided = true;
    if (chunk.keptStart < 0) return true;
    const std::int64_t keptStart = chunk.start + chunk.keptStart;
    while (source_.position() < keptStart) {
      if (!convertNextGroup(state)) return false;
    }
    if (source_.position() != keptStart) return true;
    writeKeptLines(chunk);
    source_.moveTo(chunk.start + chunk.keptEnd);
    state.point = chunk.lastPoint;
    state.label = chunk.lastLabel;
    acceptedIn_ += static_cast<double>(chunk.keptEnd - chunk.keptStart);
    acceptedOut_ += static_cast<double>(chunk.outputLength);
    return true;
  }

  // The kept lines on standard output, as the one-thread loop writes them: a
  // statement each, with the reading after its group. A buffered stream
  // takes them in one call, the reading following the lines that fill its
  // blocks; an unbuffered one, and the first statement of all, which obtains
  // the unit, take a line at a time. So a refused write is reported with
  // standard input where one thread leaves it.
  void writeKeptLines(const Chunk& chunk) noexcept {
    writing_ = &chunk;
    for (std::size_t line = 0; line < chunk.lines; ++line) {
      const recio::Unit* unit = recio::readyUnit(recio::outputUnit, true);
      if (unit != nullptr && unit->output->buffering() != recio::Buffering::none) {
        writeLines(line, chunk.lines);
        return;
      }
      source_.moveTo(chunk.start + chunk.groupEnd[line]);
      writeLines(line, line + 1);
    }
  }

  // Lines first to end - 1 of the chunk being written, in one call.
  void writeLines(std::size_t first, std::size_t end) noexcept {
    writtenBefore_ = first > 0 ? writing_->lineEnd[first - 1] : 0;
    fillingLine_ = first;
    recio::writeEditedRecords(recio::outputUnit, recio::threeRealsAndLabel,
                              writing_->output + writtenBefore_,
                              writing_->lineEnd[end - 1] - writtenBefore_, *this);
  }

  // The line that holds the call's byte end - 1 was written by the statement
  // that had read its group. The bytes asked for only grow within a call:
  // the line is looked for onwards from the last one found, through ends
  // that another thread wrote, in the order of memory.
  void readingAfterByte(std::size_t end) noexcept override {
    const std::uint32_t* ends = writing_->lineEnd;
    const auto target = static_cast<std::uint32_t>(writtenBefore_ + end);
    while (fillingLine_ + 1 < writing_->lines && ends[fillingLine_] < target) ++fillingLine_;
    source_.moveTo(writing_->start + writing_->groupEnd[fillingLine_]);
  }

  void retireOldest() noexcept {
    Chunk& chunk = ring_[oldest_];
    if (chunk.dispatched) pool_.waitUntilDone(chunk);
    oldest_ = (oldest_ + 1) % slots_;
    --count_;
  }

  Chunk* const ring_;
  const std::size_t slots_;
  std::size_t oldest_ = 0;
  std::size_t count_ = 0;
  // Bytes read after the last chunk's end, up to the frontier.
  char* const carried_;
  std::size_t carriedLength_ = 0;
  std::int64_t frontier_ = 0;  // bytes of standard input read so far
  bool inputEnded_ = false;
  int readError_ = 0;
  const std::size_t chunkBytes_;
  const std::size_t outputRoom_;
  const bool pipe_;
  double acceptedIn_ = 0.0;
  double acceptedOut_ = 0.0;
  WorkerPool& pool_;
  recio::CharSource& source_;
  // The chunk whose kept lines are being written, and the bytes of its
  // output before the call under way.
  const Chunk* writing_ = nullptr;
  std::size_t writtenBefore_ = 0;
  std::size_t fillingLine_ = 0;  // the line readingAfterByte found last
};

ParallelShare lastShare;

unsigned cpusOfAffinityMask() noexcept {
  for (int cpus = CPU_SETSIZE; cpus <= (1 << 16); cpus *= 2) {
    cpu_set_t* set = CPU_ALLOC(static_cast<std::size_t>(cpus));
    if (set == nullptr) return 1;
    const std::size_t size = CPU_ALLOC_SIZE(static_cast<std::size_t>(cpus));
    const int status = ::sched_getaffinity(0, size, set);
    const int count = status == 0 ? CPU_COUNT_S(size, set) : 0;
    CPU_FREE(set);
    if (status == 0) return count > 0 ? static_cast<unsigned>(count) : 1;
    if (errno != EINVAL) return 1;
  }
  return 1;
}

}  // namespace

ParallelShare lastParallelShare() noexcept { return lastShare; }

ParallelTuning defaultTuning() noexcept {
  return ParallelTuning{std::min(cpusOfAffinityMask(), mostWorkers), defaultChunkBytes};
}

bool convertInParallel(PointState& state, const ParallelTuning& tuning) noexcept {
  if (tuning.workers < 2 || tuning.chunkBytes < 2 * leastRead) return false;
  struct stat status;
  if (::fstat(STDIN_FILENO, &status) != 0) return false;
  const bool pipe = S_ISFIFO(status.st_mode);
  if ((!pipe && !S_ISREG(status.st_mode)) || ::isatty(STDIN_FILENO)) return false;
  // Standard input must be unit 5's stream as every statement would find it.
  recio::createUnitTable();
  recio::Unit* unit = recio::connectedUnit(recio::inputUnit);
  if (unit == nullptr || unit->fd != STDIN_FILENO || unit->input == nullptr) return false;

  const unsigned workers = std::min(tuning.workers, mostWorkers);
  const std::size_t slots = std::size_t{chunksPerWorker} * workers;
  const std::size_t outputRoom = outputPerInput * tuning.chunkBytes;
  // Chunk positions and output offsets are kept in 32 bits.
  if (outputRoom > std::size_t{UINT32_MAX}) return false;
  const std::size_t lines = lineCapacity(outputRoom);
  // Chunks, their queue, each slot's line and group ends, input and output,
  // and the carried bytes.
  const std::size_t bytes = slots * (sizeof(Chunk) + sizeof(Chunk*)) +
                            slots * 2 * lines * sizeof(std::uint32_t) +
                            (slots * (1 + outputPerInput) + 1) * tuning.chunkBytes;
  void* storage = std::malloc(bytes);
  if (storage == nullptr) return false;
  Chunk* ring = static_cast<Chunk*>(storage);
  Chunk** queue = reinterpret_cast<Chunk**>(ring + slots);
  auto* ends = reinterpret_cast<std::uint32_t*>(queue + slots);
  char* area = reinterpret_cast<char*>(ends + slots * 2 * lines);
  for (std::size_t i = 0; i < slots; ++i) {
    new (&ring[i]) Chunk{};
    ring[i].lineEnd = ends;
    ends += lines;
    ring[i].groupEnd = ends;
    ends += lines;
    ring[i].input = area;
    area += tuning.chunkBytes;
    ring[i].output = area;
    area += outputRoom;
  }
  char* carried = area;

  bool ran = false;
  {
    WorkerPool pool(queue, slots, outputRoom, state.factor);
    if (pool.start(workers) >= 1) {
      ParallelRun run(ring, slots, carried, tuning.chunkBytes, outputRoom, pipe, pool,
                      *unit->input);
      unit->input->readThrough(&run);
      run.run(state);
      run.finish();
      lastShare = run.share();
      unit->input->readThrough(nullptr);
      ran = true;
    }
    pool.stop();
  }
  std::free(storage);
  return ran;
}

}  // namespace geocart
