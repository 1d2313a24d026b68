#include "sim/device_model.h"

namespace vxsim::detail {

std::optional<std::string> OptionsStore::get(const std::string& name) const {
  std::lock_guard lock(mutex_);
  const auto it = values_.find(name);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

void OptionsStore::set(const std::string& name, const std::string& value) {
  std::lock_guard lock(mutex_);
  values_[name] = value;
}

Personality DeviceModel::personality() const {
  std::lock_guard lock(mutex_);
  return personality_;
}

void DeviceModel::setPersonality(const Personality& personality) {
  std::lock_guard lock(mutex_);
  personality_ = personality;
}

std::optional<std::string> DeviceModel::option(const std::string& name) const {
  if (auto stored = options_.get(name)) return stored;
  if (name == "~Platform") return personality().tft ? std::string("VX500_TFT") : std::string("VX500");
  // Answered rather than refused, as a terminal without these features does:
  // a refused option costs a host several tries when it connects.
  if (name == "~OS") return std::string("NONE");
  if (name == "~ExtendFmt") return std::string("0");
  return std::nullopt;
}

}  // namespace vxsim::detail
