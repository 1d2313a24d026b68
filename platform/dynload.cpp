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

namespace {
// The folder of the module that holds `address`, with its trailing slash.
std::string moduleFolder(const void* address) {
  Dl_info info{};
  if (address == nullptr || dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
  std::string_view path(info.dli_fname);
  const auto slash = path.find_last_of('/');
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

void* openFile(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
}  // namespace

std::unique_ptr<Library> Library::load(const char* describedName, const void* anchor) {
  if (describedName == nullptr || *describedName == '\0') return nullptr;
  const std::string file = sharedObjectName(describedName);
  if (file.size() <= 6) return nullptr;  // "lib.so": no stem at all
  // Next to the loading module, then next to this library (the libraries of
  // the SDK are installed together), then wherever the loader looks.
  const std::string folders[] = {moduleFolder(anchor), moduleFolder(reinterpret_cast<const void*>(&Library::load))};
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;
    if (void* h = openFile(folder + file)) return std::make_unique<Library>(Key{}, h, folder + file);
  }
  if (void* h = openFile(file)) return std::make_unique<Library>(Key{}, h, file);
  return nullptr;
}

Library::~Library() {
  if (handle_ != nullptr) dlclose(handle_);
}

void* Library::symbol(const char* name) const { return handle_ != nullptr ? dlsym(handle_, name) : nullptr; }
}  // namespace vxp
