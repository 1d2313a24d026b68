#include "vxsdk/report/inputs.h"

#include <algorithm>

#include "vxsdk/report/devtime.h"

namespace vxreport {

namespace {
constexpr std::size_t kDepartmentsSearched = 16;

}  // namespace

void InputIndex::load(const EngineFiles& files) {
  all_.clear();
  files.log.forEachRecord<AttLogRecord::kSize>([&](auto b) {
    const LogPunch p = LogPunch::decode(b);
    if (p.time > 0 && p.time < NoMoreTime) all_.push_back(p);
  });
  std::fill(offsets_.begin(), offsets_.end(), 0);
  for (const auto& p : all_) ++offsets_[p.userNumber + 1u];
  for (std::size_t u = 1; u < offsets_.size(); ++u) offsets_[u] += offsets_[u - 1];
  byUser_.assign(all_.size(), 0);
  std::vector<std::uint32_t> fill(offsets_.begin(), offsets_.end() - 1);
  for (std::uint32_t i = 0; i < all_.size(); ++i) byUser_[fill[all_[i].userNumber]++] = i;

  users_.clear();
  userByNumber_.assign(65536, -1);
  files.users.forEachRecord<UserRecord::kSize>([&](auto b) {
    users_.push_back(UserRecord::decode(b));
    const std::uint16_t n = users_.back().userNumber;
    if (n != 0 && userByNumber_[n] < 0) userByNumber_[n] = static_cast<std::int32_t>(users_.size() - 1);
  });

  turns_.clear();
  turnByNumber_.assign(65536, -1);
  files.shifts.forEachRecord<TurnRecord::kSize>([&](auto b) {
    turns_.push_back(TurnRecord::decode(b));
    const std::uint16_t n = turns_.back().number;
    if (turnByNumber_[n] < 0) turnByNumber_[n] = static_cast<std::int32_t>(turns_.size() - 1);
  });

  departments_.clear();
  files.departments.forEachRecord<DepartmentRecord::kSize>([&](auto b) {
    if (departments_.size() < kDepartmentsSearched) departments_.push_back(DepartmentRecord::decode(b));
  });
}

const UserRecord* InputIndex::findUser(std::int32_t number) const {
  if (number <= 0 || number > 65535) return nullptr;
  const std::int32_t i = userByNumber_[static_cast<std::size_t>(number)];
  return i < 0 ? nullptr : &users_[static_cast<std::size_t>(i)];
}

const TurnRecord* InputIndex::findTurn(std::int32_t number) const {
  if (number < 0 || number > 65535) return nullptr;
  const std::int32_t i = turnByNumber_[static_cast<std::size_t>(number)];
  return i < 0 ? nullptr : &turns_[static_cast<std::size_t>(i)];
}

const DepartmentRecord* InputIndex::findDepartment(std::int32_t number) const {
  for (const auto& d : departments_)
    if (d.number == number) return &d;
  return nullptr;
}

}  // namespace vxreport
