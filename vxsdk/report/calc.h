#pragma once
// The attendance calculation: for each user, a merge of the user's punches
// with the check points (start and end) of the user's scheduled work periods,
// writing classified punches, exception pairs, period results and user totals
// to the four work files.
#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "vxsdk/report/devtime.h"
#include "vxsdk/report/files.h"
#include "vxsdk/report/inputs.h"
#include "vxsdk/report/records.h"

namespace vxreport {

inline constexpr std::size_t kMaxPunchesPerUser = 1000;

// One occurrence of a shift on one day of the report period.
struct WorkPeriod {
  std::int64_t scheduledStart = 0, scheduledEnd = 0;
  std::int64_t inWindowStart = 0, inWindowEnd = 0;    // check-in candidates lie in [start, end)
  std::int64_t outWindowStart = 0, outWindowEnd = 0;  // check-out candidates likewise
  std::uint16_t shift = 0;
  std::int32_t grace = 0;
  float units = 0;
  std::int32_t index = 0;
};

struct CheckPoint {
  std::int64_t time = 0, windowStart = 0, windowEnd = 0;
  char pointKind = 'I';
  std::int32_t periodIndex = 0;
};

// The part of an exception record that decides which periods it excuses.
struct ExceptionSpan {
  std::int32_t start = 0, end = 0, type = 0, code = 0;
};

// Applies the exceptions written so far to a closed period [scheduledStart,
// scheduledEnd]: one covering the whole period excuses it (absent 2) and ends
// the search; one covering its start or its end excuses that check point.
// Exceptions whose effective code (code, or type when code is 0) is 0, and
// those with code -1, change nothing.
void applyExceptions(PeriodRecord& r, std::int64_t scheduledStart, std::int64_t scheduledEnd,
                     std::span<const ExceptionSpan> exceptions);

// A pairing rule for exception punches (leave taken between two punches).
struct ExceptionRule {
  bool active = false;
  char startKind = 0, endKind = 0;
  std::uint16_t reason = 0;
  std::int32_t type = 0;
  std::int64_t limitSeconds = 0;  // a pair is accepted when 0 < gap <= limit
};

// The state of one report run, shared by all users of the run: the engine
// files, the rule, the indexed inputs and the current user's working data.
class Run {
 public:
  explicit Run(EngineFiles files) : files_(std::move(files)) {}

  // Reads the rule and the input files once and builds the pairing rules.
  void prepareRun();
  // Full calculation of one user over [start, end] (device times).
  void calculateUser(std::int32_t userNumber, std::int32_t start, std::int32_t end);
  // The same with the user's punches given in file order instead of read
  // from the attendance log (the same selection, cap and ordering apply).
  void calculateUser(std::int32_t userNumber, std::int32_t start, std::int32_t end,
                     std::span<const Punch> filePunches);
  // Releases the run state and closes every engine file.
  void finishRun();

  const AttRuleRecord& rule() const { return rule_; }
  const InputIndex& inputs() const { return inputs_; }
  EngineFiles& files() { return files_; }
  std::span<const WorkPeriod> periods() const { return periods_; }

  // Builds the work periods of a user's four shift slots from `start` to the range end.
  void buildPeriods(const UserRecord& user, std::int64_t start);

 private:
  enum class Verdict { Take, Extra, Pass };
  struct Slot {
    std::int64_t time = NoMoreTime;  // NoMoreTime: the slot is empty
    char kind = 0;
  };

  void runUser(std::int32_t userNumber, std::vector<Punch>& punches);
  void merge();
  Verdict compare();
  bool advancePunches(bool keepPrevious, bool keepCurrent);
  void advancePoints();
  CheckPoint generatePoint();
  void cutCurrentWindow();
  void takePunch();
  void handleExtra();
  bool isExceptionKind(char kind) const;
  void writeException(const ExceptionRule& rule, const Slot& first, const Slot& second);
  void openPeriod(std::int32_t periodIndex);
  void closePeriod();
  void addToTotals(const PeriodRecord& r);
  void appendPunch(std::int64_t time, char kind, char expected, std::uint16_t reason);

  EngineFiles files_;
  AttRuleRecord rule_;
  ExceptionRule exceptionRules_[2];
  InputIndex inputs_;
  std::unordered_map<std::int32_t, std::vector<ExceptionSpan>> exceptionsByUser_;

  // The current user.
  std::int32_t user_ = 0;
  std::int64_t rangeStart_ = 0, rangeEnd_ = 0;
  std::vector<Punch> punches_;
  std::vector<WorkPeriod> periods_;
  Slot previous_, current_, next_, afterNext_;
  std::size_t readPosition_ = 0;
  CheckPoint previousPoint_, currentPoint_, nextPoint_;
  bool hasCurrentPoint_ = false;
  std::size_t pointsGenerated_ = 0;
  PeriodRecord open_;
  bool periodOpen_ = false;
  UserTotalsRecord totals_;
};

// Unit seconds of a period: trunc(workUnitMinutes * units * 60) added to a
// 32-bit total in floating point; the sum wraps modulo 2^32 instead of
// overflowing.
std::uint32_t addUnitSeconds(std::uint32_t total, std::uint32_t workUnitMinutes, float units);
// Work units of a shift of `length` seconds: the unsigned 32-bit length divided
// by the unit length; 0 when the rule has no unit length.
float shiftUnits(std::int64_t length, std::uint32_t workUnitMinutes);

}  // namespace vxreport
