#pragma once
#include <memory>
#include <string>
#include "platform/export.h"

namespace vxp {
// A shared library loaded by its described name. "comms.dll" maps to
// "libcomms.so"; the file is looked for next to the module that holds `anchor`
// (normally the loading library itself), then on the loader's search path.
class VXP_API Library {
 public:
  static std::unique_ptr<Library> load(const char* describedName, const void* anchor);
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  void* symbol(const char* name) const;
  const std::string& path() const { return path_; }

  // "comms.dll" -> "libcomms.so"; a name without ".dll" keeps its stem.
  static std::string sharedObjectName(const char* describedName);

 private:
  struct Key {};

 public:
  Library(Key, void* handle, std::string path) : handle_(handle), path_(std::move(path)) {}

 private:
  void* handle_;
  std::string path_;
};
}  // namespace vxp
