#pragma once
// The terminal's own data: its personality and its options. Both are read by
// the worker thread and changed by tests, so each guards itself.
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "sim/vxsim.h"

namespace vxsim::detail {

// Options as "name" -> "value" texts.
class OptionsStore {
 public:
  std::optional<std::string> get(const std::string& name) const;
  void set(const std::string& name, const std::string& value);

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::string> values_;
};

class DeviceModel {
 public:
  explicit DeviceModel(Personality personality) : personality_(std::move(personality)) {}

  Personality personality() const;
  void setPersonality(const Personality& personality);

  // An option as the terminal reports it: a stored value wins; otherwise
  // "~Platform" follows the personality's TFT flag.
  std::optional<std::string> option(const std::string& name) const;
  void setOption(const std::string& name, const std::string& value) { options_.set(name, value); }

 private:
  mutable std::mutex mutex_;
  Personality personality_;
  OptionsStore options_;
};

}  // namespace vxsim::detail
