#include "sim/device.h"

#include <algorithm>

namespace vxsim::detail {
namespace {
// Stores a callback under its command, or removes the entry for an empty one.
template <class Callback>
void setOrErase(std::map<std::uint16_t, Callback>& callbacks, std::uint16_t command, Callback callback) {
  if (callback)
    callbacks[command] = std::move(callback);
  else
    callbacks.erase(command);
}
}  // namespace

SetKey makeSetKey(std::span<const std::uint8_t> request) {
  SetKey key{};
  std::copy_n(request.begin(), std::min(request.size(), key.size()), key.begin());
  return key;
}

void BulkRegistry::setDataSet(std::uint16_t command, const SetKey& key, Bytes bytes) {
  std::lock_guard lock(mutex_);
  sets_[{command, key}] = std::move(bytes);
}

void BulkRegistry::setProvider(std::uint16_t command, DataSetProvider provider) {
  std::lock_guard lock(mutex_);
  setOrErase(providers_, command, std::move(provider));
}

void BulkRegistry::clearDataSets() {
  std::lock_guard lock(mutex_);
  sets_.clear();
  providers_.clear();
}

std::optional<Bytes> BulkRegistry::findDataSet(std::uint16_t command, const SetKey& key) const {
  DataSetProvider provider;
  {
    std::lock_guard lock(mutex_);
    if (const auto it = sets_.find({command, key}); it != sets_.end()) return it->second;
    if (const auto it = providers_.find(command); it != providers_.end()) provider = it->second;
  }
  if (provider) {
    if (auto set = provider(key)) return set;
  }
  if (!terminalTables_) return std::nullopt;
  return terminalTables_(command, key);
}

void BulkRegistry::setConsumer(std::uint16_t command, UploadConsumer consumer) {
  std::lock_guard lock(mutex_);
  setOrErase(consumers_, command, std::move(consumer));
}

std::optional<UploadConsumer> BulkRegistry::consumer(std::uint16_t command) const {
  std::lock_guard lock(mutex_);
  const auto it = consumers_.find(command);
  if (it == consumers_.end()) return std::nullopt;
  return it->second;
}

void BulkRegistry::recordConsumed(ConsumedUpload upload) {
  std::lock_guard lock(mutex_);
  consumed_.push_back(std::move(upload));
}

std::vector<ConsumedUpload> BulkRegistry::consumed() const {
  std::lock_guard lock(mutex_);
  return consumed_;
}

void BulkRegistry::setShaper(StreamShaper shaper) {
  std::lock_guard lock(mutex_);
  shaper_ = std::move(shaper);
}

StreamShaper BulkRegistry::shaper() const {
  std::lock_guard lock(mutex_);
  return shaper_;
}

}  // namespace vxsim::detail
