#pragma once
// The terminal's stored users, templates and records, read by the command
// families on the worker thread and changed by tests; it guards itself.
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>

#include "sim/model_users.h"
#include "sim/terminal.h"

namespace vxsim::detail {

class TerminalStore {
 public:
  TerminalData snapshot() const;
  void replace(TerminalData data);
  // Runs `change` under the store's lock; it must not call into the simulator.
  void edit(const std::function<void(TerminalData&)>& change);

  // The data set a bulk read names (command and its 8 request bytes, zero
  // padded), encoded in the terminal's forms; nullopt when the terminal holds
  // no such records, so that it answers that it has none. The tables:
  // - CMD_ATTLOG_RRQ (no request bytes), CMD_OPLOG_RRQ (none; from
  //   "Ver 5.04"), CMD_USERTEMP_RRQ (kind 5; no request below "Ver 5.04") and
  //   CMD_DB_RRQ kind 2 (templates; no request below "Ver 5.04"): a 32-bit
  //   byte count, then the records;
  // - CMD_NEWLOG_RRQ kinds 1 and 4 (from "Ver 6.01"): the same as the
  //   attendance and operation reads;
  // - CMD_DB_RRQ kinds 1, 4 and 5: the whole table without a byte count.
  std::optional<Bytes> dataSet(std::uint16_t command, std::span<const std::uint8_t> request,
                               const TerminalTraits& traits) const;

  std::optional<Bytes> findTemplate(std::uint16_t number, std::uint8_t finger) const;
  std::optional<std::uint8_t> extendedValue(std::uint16_t number) const;
  // The number of the user owning a template with the same minutiae; 0 for none.
  std::uint16_t identify(std::span<const std::uint8_t> probe) const;

  // Answer to CMD_RTLOG_RRQ: a 32-bit byte count, then as many waiting
  // records as fit `room` bytes. The host counts its reads that brought
  // records; a read with a new count confirms the records sent before (they
  // are dropped), one with the same count gets them again.
  Bytes realTimeAnswer(std::uint32_t counter, std::size_t recordSize, std::size_t room);

  // Empties a table: kind 1 attendance, 2 templates, 3 nothing of this
  // store, 4 operations, 5 users and their templates; nullopt everything.
  // False for another kind.
  bool clear(std::optional<std::uint8_t> kind);

 private:
  mutable std::mutex mutex_;
  TerminalData data_;
  std::optional<std::uint32_t> realTimeCounter_;  // of the last real-time read
  std::size_t realTimeSent_ = 0;                  // records it carried
};

class CommandFamily;
// The commands on single users and templates and on the logs: one template
// (CMD_USERTEMP_RRQ with a number and a finger), CMD_USERINFOEX_RRQ,
// CMD_TEST_USERTEMP, CMD_RTLOG_RRQ and CMD_NEWLOG_DONE (from "Ver 6.01"),
// CMD_CLEAR_ATTLOG, CMD_CLEAR_OPLOG, CMD_CLEAR_DATA (all, or kinds 1 to 5)
// and CMD_REFRESH_DATA. It sits before the bulk family: a one-template read
// is told from the user-table read by its length, which a data-set key
// (zero-padded) does not keep.
std::unique_ptr<CommandFamily> makeRecordsFamily();

}  // namespace vxsim::detail
