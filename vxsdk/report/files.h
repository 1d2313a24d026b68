#pragma once
// The nine engine files of a report run: four work files created empty for
// every run, and five input files read as plain sequences of fixed records.
// Every file is raw bytes: a 0x0A, 0x0D or 0x1A inside a record is data.
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vxsdk/report/records.h"

namespace vxreport {

inline constexpr std::string_view kPunchFileName = "RecAbnormite.dat";
inline constexpr std::string_view kExceptionFileName = "attexception.dat";
inline constexpr std::string_view kPeriodFileName = "AttAbnormite.dat";
inline constexpr std::string_view kTotalsFileName = "AttDay.dat";
// Longest work-file path (directory prefix plus name) the engine accepts.
inline constexpr std::size_t kMaxWorkPath = 1023;

class File {
 public:
  File() = default;
  explicit File(std::FILE* f) : f_(f) {}
  bool isOpen() const { return f_ != nullptr; }
  std::FILE* get() const { return f_.get(); }
  void close() { f_.reset(); }

  // Appends raw bytes; false when the write falls short or the file is not open.
  bool append(std::span<const std::uint8_t> bytes) const;
  template <class R>
  bool appendRecord(const R& r) const {
    const auto bytes = encodeRecord(r);
    return append(bytes);
  }

  // Calls f(span of N bytes) for each whole record from the beginning of the
  // file; a short read ends the file. An unopened file has no records.
  template <std::size_t N, class F>
  void forEachRecord(F&& f) const {
    if (!f_) return;
    std::fflush(f_.get());
    std::fseek(f_.get(), 0, SEEK_SET);
    std::vector<std::uint8_t> chunk(N * 1024);
    for (;;) {
      const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), f_.get());
      const std::size_t whole = got / N;
      for (std::size_t i = 0; i < whole; ++i) f(std::span<const std::uint8_t, N>(chunk.data() + i * N, N));
      if (got < chunk.size()) break;
    }
    std::fseek(f_.get(), 0, SEEK_END);
  }

  // Reads up to out.size() bytes from the beginning; the rest of out is zeroed.
  void readPrefix(std::span<std::uint8_t> out) const;

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> f_;
};

// Deletes the file and creates it empty for reading and writing.
File createEmpty(const std::string& path);
// Opens an input file for reading and writing, creating it when missing; when
// that is refused (a read-only file or folder) it is opened for reading only.
// A file that cannot be opened at all stays unopened and reads as empty.
File openInput(const std::string& path);

struct EnginePaths {
  std::string workDirectory;  // put directly in front of the work file names
  std::string ruleFile, logFile, userFile, departmentFile, shiftFile;
};

struct EngineFiles {
  File punches, exceptions, periods, totals;
  File rule, log, users, departments, shifts;
};

// Work file path: the directory prefix followed directly by the name; empty
// when it would be longer than kMaxWorkPath (such a file is not created).
std::string workPath(std::string_view workDirectory, std::string_view name);

// Creates the four work files empty (in the order punches, exceptions,
// periods, totals) and opens the five inputs without deleting them.
EngineFiles openEngineFiles(const EnginePaths& paths);

}  // namespace vxreport
