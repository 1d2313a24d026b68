#include "platform/dynload.h"

#include <dlfcn.h>

#include <cstring>
#include <string_view>

namespace vxp {
std::string Library::sharedObjectName(const char* describedName) {
  std::string_view name(describedName);
  if (auto slash = name.find_last_of("/\\"); slash != std::string_view::npos) name.remove_prefix(slash + 1);
  if (name.size() > 4) {
    std::string_view ext = name.substr(name.size() - 4);
    if (ext == ".dll" || ext == ".DLL") name.remove_suffix(4);
  }
  if (name.size() > 3 && name.substr(name.size() - 3) == ".so") return std::string(name);
  return "lib" + std::string(name) + ".so";
}

std::unique_ptr<Library> Library::load(const char* describedName, const void* anchor) {
  if (describedName == nullptr || *describedName == '\0') return nullptr;
  const std::string file = sharedObjectName(describedName);
  if (file.size() <= 6) return nullptr;  // "lib.so": no stem at all
  std::string dir;
  Dl_info info{};
  if (anchor != nullptr && dladdr(anchor, &info) != 0 && info.dli_fname != nullptr) {
    std::string_view self(info.dli_fname);
    if (auto slash = self.find_last_of('/'); slash != std::string_view::npos) dir = std::string(self.substr(0, slash + 1));
  }
  if (!dir.empty()) {
    std::string candidate = dir + file;
    if (void* h = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) return std::make_unique<Library>(Key{}, h, candidate);
  }
  if (void* h = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL)) return std::make_unique<Library>(Key{}, h, file);
  return nullptr;
}

Library::~Library() {
  if (handle_ != nullptr) dlclose(handle_);
}

void* Library::symbol(const char* name) const { return handle_ != nullptr ? dlsym(handle_, name) : nullptr; }
}  // namespace vxp
