// The terminal's stored data and the answers built from it.
#include "sim/terminal_store.h"

#include <algorithm>

#include "sim/families.h"
#include "sim/model_logs.h"

namespace vxsim::detail {
namespace {
// Request bytes that consist of `kind` (or nothing, for kind 0) and zeros.
bool names(std::span<const std::uint8_t> request, std::uint8_t kind) {
  if (request.empty()) return kind == 0;
  return request[0] == kind && std::all_of(request.begin() + 1, request.end(), [](auto b) { return b == 0; });
}

std::optional<Bytes> counted(Bytes records) {
  if (records.empty()) return std::nullopt;
  Bytes answer;
  answer.reserve(records.size() + 4);
  appendU32(answer, static_cast<std::uint32_t>(records.size()));
  answer.insert(answer.end(), records.begin(), records.end());
  return answer;
}

std::optional<Bytes> whole(Bytes records) {
  if (records.empty()) return std::nullopt;
  return records;
}

Bytes userTable(const TerminalData& d, const TerminalTraits& t) {
  const UserForm form = resolve(d.userForm, t);
  Bytes out;
  out.reserve(d.users.size() * 72);
  for (const User& u : d.users) appendUser(out, u, form);
  return out;
}

Bytes templateTable(const TerminalData& d) {
  Bytes out;
  for (const FingerTemplate& f : d.templates) appendTemplate(out, f);
  return out;
}
}  // namespace

TerminalData TerminalStore::snapshot() const {
  std::lock_guard lock(mutex_);
  return data_;
}

void TerminalStore::replace(TerminalData data) {
  std::lock_guard lock(mutex_);
  data_ = std::move(data);
  realTimeCounter_.reset();
  realTimeSent_ = 0;
}

void TerminalStore::edit(const std::function<void(TerminalData&)>& change) {
  std::lock_guard lock(mutex_);
  change(data_);
  realTimeSent_ = std::min(realTimeSent_, data_.realTime.size());
}

std::optional<Bytes> TerminalStore::dataSet(std::uint16_t command, std::span<const std::uint8_t> request,
                                            const TerminalTraits& t) const {
  std::lock_guard lock(mutex_);
  const LogForm logForm = resolve(data_.logForm, t);
  switch (command) {
    case CMD_ATTLOG_RRQ:
      if (names(request, 0)) return counted(attendanceTable(data_.attendance, logForm));
      break;
    case CMD_OPLOG_RRQ:
      if (t.pin2 && names(request, 0)) return counted(operationTable(data_.operations));
      break;
    case CMD_NEWLOG_RRQ:
      if (!t.dataSets) break;
      if (names(request, 1)) return counted(attendanceTable(data_.attendance, logForm));
      if (names(request, 4)) return counted(operationTable(data_.operations));
      break;
    case CMD_USERTEMP_RRQ:
      if (names(request, t.pin2 ? 5 : 0)) return counted(userTable(data_, t));
      break;
    case CMD_DB_RRQ:
      if (names(request, t.pin2 ? 2 : 0)) return counted(templateTable(data_));
      if (names(request, 1)) return whole(attendanceTable(data_.attendance, logForm));
      if (t.pin2 && names(request, 4)) return whole(operationTable(data_.operations));
      if (names(request, 5)) return whole(userTable(data_, t));
      break;
    default:
      break;
  }
  return std::nullopt;
}

std::optional<Bytes> TerminalStore::findTemplate(std::uint16_t number, std::uint8_t finger) const {
  std::lock_guard lock(mutex_);
  const auto it = std::find_if(data_.templates.begin(), data_.templates.end(),
                               [&](const FingerTemplate& f) { return f.number == number && f.finger == finger; });
  if (it == data_.templates.end()) return std::nullopt;
  return it->bytes;
}

std::optional<std::uint8_t> TerminalStore::extendedValue(std::uint16_t number) const {
  std::lock_guard lock(mutex_);
  const auto it = std::find_if(data_.users.begin(), data_.users.end(), [&](const User& u) { return u.number == number; });
  if (it == data_.users.end()) return std::nullopt;
  return it->extendedValue;
}

std::uint16_t TerminalStore::identify(std::span<const std::uint8_t> probe) const {
  std::lock_guard lock(mutex_);
  for (const FingerTemplate& f : data_.templates) {
    if (sameFinger(f.bytes, probe)) return f.number;
  }
  return 0;
}

Bytes TerminalStore::realTimeAnswer(std::uint32_t counter, std::size_t recordSize, std::size_t room) {
  std::lock_guard lock(mutex_);
  auto& waiting = data_.realTime;
  if (realTimeCounter_ != counter) {
    waiting.erase(waiting.begin(), waiting.begin() + static_cast<std::ptrdiff_t>(realTimeSent_));
    realTimeCounter_ = counter;
  }
  realTimeSent_ = std::min(waiting.size(), recordSize > 0 && room > 4 ? (room - 4) / recordSize : 0);
  Bytes answer;
  appendU32(answer, static_cast<std::uint32_t>(realTimeSent_ * recordSize));
  for (std::size_t i = 0; i < realTimeSent_; ++i) appendRealTime(answer, waiting[i], recordSize);
  return answer;
}

bool TerminalStore::clear(std::optional<std::uint8_t> kind) {
  std::lock_guard lock(mutex_);
  const auto all = !kind.has_value();
  const std::uint8_t k = kind.value_or(0);
  if (!all && (k < 1 || k > 5)) return false;
  if (all || k == 1) data_.attendance.clear();
  if (all || k == 2 || k == 5) data_.templates.clear();
  if (all || k == 4) data_.operations.clear();
  if (all || k == 5) data_.users.clear();
  if (all) {
    data_.realTime.clear();
    realTimeSent_ = 0;
  }
  return true;
}

}  // namespace vxsim::detail
