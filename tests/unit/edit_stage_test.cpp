// The edit stage: a batch's lines put on a block-buffered stream must reach
// its descriptor in the same writes as the same lines handed to the stream
// one at a time, whatever the buffer's size and the lines' lengths (with
// and without a label). Each stream writes to a socket that keeps the
// bounds of every write, so that the writes themselves are compared, and
// when each was made: a mark goes to the socket after every batch.
#include "edit_stage.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

#include "output_stream.h"
#include "record_group.h"
#include "units.h"

namespace {

using geocart::GroupBatch;

// A block-buffered stream of `size` bytes on one end of a socket pair, and
// the writes that reach the other end, taken off it as they come (the
// socket holds only a few).
class WriteRecorder {
 public:
  explicit WriteRecorder(std::size_t size) {
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends_) != 0) ADD_FAILURE() << "socketpair";
    stream.open(ends_[0], recio::Buffering::block, size, recio::outputUnit, nullptr);
    reader_ = std::thread([this] {
      char packet[1 << 12];
      for (;;) {
        const ssize_t n = ::recv(ends_[1], packet, sizeof packet, 0);
        if (n <= 0) return;
        writes_.emplace_back(packet, static_cast<std::size_t>(n));
      }
    });
  }
  ~WriteRecorder() {
    stream.close();
    if (reader_.joinable()) reader_.join();
    ::close(ends_[1]);
  }

  // A mark among the writes, sent past the stream: where it stands tells
  // which writes the stream had made by then.
  void mark() { ::send(ends_[0], "|", 1, 0); }

  // Every write, in order, once the stream is flushed and closed.
  const std::vector<std::string>& writes() {
    stream.close();
    reader_.join();
    return writes_;
  }

  recio::OutputStream stream;

 private:
  int ends_[2] = {-1, -1};
  std::vector<std::string> writes_;
  std::thread reader_;
};

TEST(EditStage, WritesAsLinesHandedOverOneAtATime) {
  std::mt19937 random(17);
  // About the longest line and its neighbours, a few lines' worth, and a
  // block; the stream writes out its buffer only when it fills.
  const std::size_t sizes[] = {59, 60, 61, 100, 118, 119, 120, 200, 1024};
  GroupBatch batch;
  for (int round = 0; round < 400 && !testing::Test::HasFailure(); ++round) {
    const std::size_t size = sizes[random() % std::size(sizes)];
    SCOPED_TRACE("buffer of " + std::to_string(size));
    WriteRecorder inBatches(size), oneByOne(size);
    for (int batches = 0; batches < 4; ++batches) {
      batch.count = 1 + random() % GroupBatch::capacity;
      for (std::size_t i = 0; i < batch.count; ++i) {
        batch.x[i] = 6378137.0 - static_cast<double>(random() % 1000);
        batch.y[i] = -1.5 * static_cast<double>(random() % 100000);
        batch.z[i] = 0.0625 * static_cast<double>(random());
        batch.label[i].assign(random() % 3 == 0 ? "" : "P" + std::to_string(random() % 1000));
        char line[geocart::longestResultLine];
        oneByOne.stream.write(line, geocart::editResultLine(line, batch.x[i], batch.y[i],
                                                            batch.z[i], batch.label[i]));
      }
      geocart::putResultLines(batch, inBatches.stream);
      inBatches.mark();
      oneByOne.mark();
    }
    const std::vector<std::string> expected = oneByOne.writes();
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(inBatches.writes(), expected);
  }
}

// The lengths that the workers count their lines by, a label holding a line
// end (a backslash before it continues the label) included.
TEST(EditStage, LineLengthsAreTheEditedOnes) {
  for (const char* text : {"", " ", "P1", "12345678", "ab\ncd", "\n"}) {
    geocart::PointLabel label;
    label.assign(text);
    char line[geocart::longestResultLine];
    EXPECT_EQ(geocart::editResultLine(line, -6378137.0, 0.5, 1e10, label),
              geocart::resultLineLength(label))
        << '"' << text << '"';
  }
}

}  // namespace
