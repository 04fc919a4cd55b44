// The emulator that runs the target's programs in a cross build (qemu-user
// for aarch64), as CMake found it, for the tests that start the tool
// themselves; none in a native build.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace emulation {

// Its words, separated by blanks (a path with a blank is not supported);
// empty when the tests run natively.
inline constexpr std::string_view emulatorWords = GEOCART_EMULATOR;

inline constexpr bool underEmulator = !emulatorWords.empty();

// The command line that runs `program` with `args`: the emulator's words
// first when there is one. Element 0 is the file to execute.
inline std::vector<std::string> commandLine(const std::string& program,
                                            const std::vector<std::string>& args) {
  std::vector<std::string> words;
  std::string_view rest = emulatorWords;
  while (!rest.empty()) {
    const std::size_t blank = rest.find(' ');
    if (blank != 0) words.emplace_back(rest.substr(0, blank));
    rest.remove_prefix(blank == std::string_view::npos ? rest.size() : blank + 1);
  }
  words.push_back(program);
  words.insert(words.end(), args.begin(), args.end());
  return words;
}

// What qemu-user itself writes on standard error after the program's own
// bytes when the program ends by SIGABRT while descriptor 2 is open (it
// writes it whatever the core size limit). It is no byte of the tool's.
inline constexpr std::string_view abortLine =
    "qemu: uncaught target signal 6 (Aborted) - core dumped\n";

// Standard error of a run that ended by SIGABRT, without the emulator's line.
inline std::string withoutAbortLine(std::string stderrBytes) {
  if (underEmulator && stderrBytes.ends_with(abortLine)) {
    stderrBytes.resize(stderrBytes.size() - abortLine.size());
  }
  return stderrBytes;
}

// Time limits of runs under the emulator, which runs the target's code
// several times slower than the machine runs its own.
inline constexpr int timeFactor = underEmulator ? 10 : 1;

}  // namespace emulation
