// Writes one section of the corpus that every build of geocart must convert
// to the same bytes (tests/corpus/compare_builds.sh), one labelled group a
// line, from a fixed seed: the same arguments always give the same bytes.
//   gen_corpus special            every combination of the special values
//   gen_corpus extreme COUNT      tiny and huge angles and heights
//   gen_corpus ordinary COUNT     points on and near the Earth, in the forms
//                                 users' files hold
// The sections are those of corpus_sections.h.
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "corpus_sections.h"

namespace {

class Output {
 public:
  Output() = default;
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  void put(std::string_view text) {
    if (sizeof block_ - used_ < text.size()) flush();
    used_ = static_cast<std::size_t>(std::copy(text.begin(), text.end(), block_ + used_) - block_);
  }
  bool ok() const { return ok_; }

  void flush() {
    const char* p = block_;
    while (used_ > 0 && ok_) {
      const ssize_t n = ::write(1, p, used_);
      if (n <= 0) {
        ok_ = false;
        break;
      }
      p += n;
      used_ -= static_cast<std::size_t>(n);
    }
    used_ = 0;
  }

 private:
  char block_[1 << 16];
  std::size_t used_ = 0;
  bool ok_ = true;
};

int usage() {
  std::fputs("usage: gen_corpus special | extreme COUNT | ordinary COUNT\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string_view section = argv[1];
  std::uint64_t count = 0;
  if (section != "special") {
    if (argc != 3) return usage();
    const std::string_view text = argv[2];
    if (std::from_chars(text.data(), text.data() + text.size(), count).ec != std::errc{}) {
      return usage();
    }
  } else if (argc != 2) {
    return usage();
  }
  static Output out;
  std::size_t (*const line)(std::uint64_t, char*) = section == "special"    ? corpus::specialLine
                                                     : section == "extreme"  ? corpus::extremeLine
                                                     : section == "ordinary" ? corpus::ordinaryLine
                                                                             : nullptr;
  if (line == nullptr) return usage();
  if (section == "special") count = corpus::specialCount;
  char text[corpus::maxLine];
  for (std::uint64_t i = 0; i < count; ++i) out.put(std::string_view(text, line(i, text)));
  out.flush();
  return out.ok() ? 0 : 1;
}
