#pragma once
// The input files of a run, each read once and indexed: punches by user in
// file order, users, shifts and the first 16 departments by number.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "vxsdk/report/files.h"
#include "vxsdk/report/records.h"

namespace vxreport {

// A punch reduced to its time and status character (its kind).
struct Punch {
  std::int32_t time = 0;
  char kind = 0;
};

class InputIndex {
 public:
  void load(const EngineFiles& files);

  // Punches of one user in file order; user 0 stands for every punch of the
  // file. Only real times are kept: above 0 and below NoMoreTime.
  template <class F>
  void forEachPunch(std::uint16_t userNumber, F&& f) const {
    if (userNumber == 0) {
      for (const auto& p : all_) f(Punch{p.time, statusCharacter(p.status)});
      return;
    }
    const std::uint32_t from = offsets_[userNumber], to = offsets_[userNumber + 1u];
    for (std::uint32_t i = from; i < to; ++i) {
      const auto& p = all_[byUser_[i]];
      f(Punch{p.time, statusCharacter(p.status)});
    }
  }

  // First record with that number; records numbered 0 are never found.
  const UserRecord* findUser(std::int32_t number) const;
  // First record with that number in the shift file.
  const TurnRecord* findTurn(std::int32_t number) const;
  // First record with that number among the first 16 of the department file.
  const DepartmentRecord* findDepartment(std::int32_t number) const;

  std::span<const UserRecord> users() const { return users_; }

 private:
  std::vector<LogPunch> all_;          // file order
  std::vector<std::uint32_t> byUser_;  // indices into all_, grouped by user, file order within
  std::vector<std::uint32_t> offsets_ = std::vector<std::uint32_t>(65537, 0);
  std::vector<UserRecord> users_;
  std::vector<std::int32_t> userByNumber_;
  std::vector<TurnRecord> turns_;
  std::vector<std::int32_t> turnByNumber_;
  std::vector<DepartmentRecord> departments_;
};

}  // namespace vxreport
