#pragma once
// State that the command families share: the device model, the session, and
// what tests registered for bulk transfers. Families run on the worker thread;
// everything a test can also touch guards itself.
#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "sim/device_model.h"
#include "sim/model_device.h"
#include "sim/terminal_store.h"
#include "sim/vxsim.h"

namespace vxsim::detail {

// The request bytes that name a data set, zero-padded (or cut) to 8 bytes.
using SetKey = std::array<std::uint8_t, 8>;
SetKey makeSetKey(std::span<const std::uint8_t> request);

struct SessionState {
  std::atomic<std::uint16_t> id{0};       // assigned by the last CMD_CONNECT
  std::atomic<bool> authenticated{false};
  unsigned connects = 0;                  // worker thread only
};

// Data sets, upload consumers and the stream shaper registered by tests.
using DataSetSource = std::function<std::optional<Bytes>(std::uint16_t command, const SetKey& key)>;

class BulkRegistry {
 public:
  void setDataSet(std::uint16_t command, const SetKey& key, Bytes bytes);
  void setProvider(std::uint16_t command, DataSetProvider provider);
  void clearDataSets();
  // The set for a request: a registered set first, then the command's provider
  // (called without the lock held), then the terminal's own tables.
  std::optional<Bytes> findDataSet(std::uint16_t command, const SetKey& key) const;
  // Where the terminal's own tables come from; set once, by the device.
  void setTerminalTables(DataSetSource source) { terminalTables_ = std::move(source); }

  void setConsumer(std::uint16_t command, UploadConsumer consumer);
  std::optional<UploadConsumer> consumer(std::uint16_t command) const;
  void recordConsumed(ConsumedUpload upload);
  std::vector<ConsumedUpload> consumed() const;

  void setShaper(StreamShaper shaper);
  StreamShaper shaper() const;

 private:
  mutable std::mutex mutex_;
  std::map<std::pair<std::uint16_t, SetKey>, Bytes> sets_;
  std::map<std::uint16_t, DataSetProvider> providers_;
  std::map<std::uint16_t, UploadConsumer> consumers_;
  std::vector<ConsumedUpload> consumed_;
  StreamShaper shaper_;
  DataSetSource terminalTables_;
};

struct Device {
  explicit Device(const Personality& personality) : model(personality) {
    bulk.setConsumer(CMD_MF_WRITE, cardWriter(machine));
    bulk.setTerminalTables([this](std::uint16_t command, const SetKey& key) {
      return terminal.dataSet(command, key, traitsOf(model));
    });
  }
  DeviceModel model;
  SessionState session;
  BulkRegistry bulk;
  MachineModel machine;
  TerminalStore terminal;  // users, templates and logs
};

}  // namespace vxsim::detail
