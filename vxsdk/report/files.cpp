#include "vxsdk/report/files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace vxreport {

namespace {
constexpr std::size_t kStreamBuffer = 1 << 16;

std::FILE* withBuffer(std::FILE* f) {
  if (f) std::setvbuf(f, nullptr, _IOFBF, kStreamBuffer);
  return f;
}
}  // namespace

bool File::append(std::span<const std::uint8_t> bytes) const {
  if (!f_) return false;
  return std::fwrite(bytes.data(), 1, bytes.size(), f_.get()) == bytes.size();
}

void File::readPrefix(std::span<std::uint8_t> out) const {
  std::memset(out.data(), 0, out.size());
  if (!f_) return;
  std::fflush(f_.get());
  std::fseek(f_.get(), 0, SEEK_SET);
  std::size_t got = 0;
  while (got < out.size()) {
    const std::size_t n = std::fread(out.data() + got, 1, out.size() - got, f_.get());
    if (n == 0) break;
    got += n;
  }
}

File createEmpty(const std::string& path) {
  if (path.empty()) return File();
  std::remove(path.c_str());
  return File(withBuffer(std::fopen(path.c_str(), "w+b")));
}

File openInput(const std::string& path) {
  if (path.empty()) return File();
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd >= 0) {
    if (std::FILE* f = ::fdopen(fd, "r+b")) return File(withBuffer(f));
    ::close(fd);
  }
  return File(withBuffer(std::fopen(path.c_str(), "rb")));
}

std::string workPath(std::string_view workDirectory, std::string_view name) {
  if (workDirectory.size() + name.size() > kMaxWorkPath) return {};
  std::string path(workDirectory);
  path += name;
  return path;
}

EngineFiles openEngineFiles(const EnginePaths& p) {
  EngineFiles f;
  f.punches = createEmpty(workPath(p.workDirectory, kPunchFileName));
  f.exceptions = createEmpty(workPath(p.workDirectory, kExceptionFileName));
  f.periods = createEmpty(workPath(p.workDirectory, kPeriodFileName));
  f.totals = createEmpty(workPath(p.workDirectory, kTotalsFileName));
  f.rule = openInput(p.ruleFile);
  f.log = openInput(p.logFile);
  f.users = openInput(p.userFile);
  f.departments = openInput(p.departmentFile);
  f.shifts = openInput(p.shiftFile);
  return f;
}

}  // namespace vxreport
