// SPDX-License-Identifier: MIT
// Files the tool reads and writes: "-" is standard input or output
// everywhere, an output file is checked before the reader is asked for
// anything, and a write that fails (a full disk, /dev/full) is a failure of
// the command.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace kulve::tool {

// The global --in and --out options.
struct DataFiles {
  std::string in = "-";  // where a write's data word "-" takes its bytes from
  std::string out;       // where reads put their bytes, raw; empty = hex lines on standard output
  bool outStarted = false;  // the first read truncates, later ones append
};
DataFiles& Files();

// The whole file ("-": standard input); throws UsageError "cannot read
// PATH: <the system's reason>".
std::vector<std::uint8_t> ReadInputFile(const std::string& path);
// Throws UsageError "cannot write PATH: <reason>" when the file cannot be
// opened for writing; leaves an existing file as it was and makes no new one.
void CheckOutputFile(const std::string& path);
// Writes the bytes (append: after what the file holds); on failure prints
// "what: cannot write PATH: <reason>" and returns false.
bool WriteOutputFile(const std::string& path, std::span<const std::uint8_t> bytes, bool append,
                     const std::string& what);

// Hex lines of 16 bytes ("0A 1B ..."), each ending in a newline.
std::string WrappedHex(std::span<const std::uint8_t> bytes);

// Whether progress is shown: standard error is a terminal and not quiet.
bool ShowsProgress(bool quiet);
// Shows done/total on standard error while it is a terminal and not quiet;
// clears the line when done == total.
std::function<void(int done, int total)> ProgressLine(bool quiet, const std::string& what);

}  // namespace kulve::tool
