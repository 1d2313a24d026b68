#include "vxsdk/report/calc.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vxreport {

namespace {

constexpr char kIn = 'I';
constexpr char kOut = 'O';

std::int32_t i32(std::int64_t v) { return static_cast<std::int32_t>(v); }
std::uint32_t u32(std::int64_t v) { return static_cast<std::uint32_t>(v); }

// Adds to a 32-bit counter with wrap-around, as the stored totals do.
void addTo(std::int32_t& total, std::int64_t v) { total = static_cast<std::int32_t>(u32(total) + u32(v)); }

}  // namespace

std::uint32_t addUnitSeconds(std::uint32_t total, std::uint32_t workUnitMinutes, float units) {
  double sum = static_cast<double>(total) + static_cast<double>(workUnitMinutes) * static_cast<double>(units) * 60.0;
  if (!std::isfinite(sum)) return total;
  sum = std::fmod(std::trunc(sum), 4294967296.0);
  if (sum < 0) sum += 4294967296.0;
  return static_cast<std::uint32_t>(sum);
}

float shiftUnits(std::int64_t length, std::uint32_t workUnitMinutes) {
  const std::uint32_t unit = workUnitMinutes * 60u;
  if (unit == 0) return 0.0f;
  return static_cast<float>(u32(length) / unit);
}

void Run::prepareRun() {
  std::array<std::uint8_t, AttRuleRecord::kSize> bytes{};
  files_.rule.readPrefix(bytes);
  bytes[100] = 0;
  bytes[101] = 0;
  rule_ = AttRuleRecord::decode(bytes);

  const std::int64_t limit = static_cast<std::int64_t>(rule_.exceptionLimitMinutes) * 60;
  exceptionRules_[0] = ExceptionRule{rule_.exceptionRuleA != 0, 'i', 'o', 5, rule_.exceptionRuleA == 1 ? 1 : 0, limit};
  exceptionRules_[1] = ExceptionRule{rule_.exceptionRuleB != 0, '0', '1', 4, rule_.exceptionRuleB == 2 ? 3 : 2, limit};

  inputs_.load(files_);
  exceptionsByUser_.clear();
  punches_.reserve(kMaxPunchesPerUser);
  periodOpen_ = false;
  totals_ = UserTotalsRecord{};
}

void Run::finishRun() {
  punches_ = {};
  periods_ = {};
  exceptionsByUser_ = {};
  inputs_ = InputIndex{};
  files_ = EngineFiles{};
}

void Run::calculateUser(std::int32_t userNumber, std::int32_t start, std::int32_t end) {
  std::printf("d1: %ld\td2: %ld\n", static_cast<long>(start), static_cast<long>(end));
  punches_.clear();
  if (userNumber >= 0 && userNumber <= 65535) {
    inputs_.forEachPunch(static_cast<std::uint16_t>(userNumber), [&](const Punch& p) {
      if (punches_.size() < kMaxPunchesPerUser && p.time >= start && p.time <= end) punches_.push_back(p);
    });
  }
  rangeStart_ = start;
  rangeEnd_ = static_cast<std::int64_t>(end) + 86399;
  runUser(userNumber, punches_);
}

void Run::calculateUser(std::int32_t userNumber, std::int32_t start, std::int32_t end,
                        std::span<const Punch> filePunches) {
  std::printf("d1: %ld\td2: %ld\n", static_cast<long>(start), static_cast<long>(end));
  punches_.clear();
  for (const Punch& p : filePunches)
    if (punches_.size() < kMaxPunchesPerUser && p.time > 0 && p.time < NoMoreTime && p.time >= start &&
        p.time <= end)
      punches_.push_back(p);
  rangeStart_ = start;
  rangeEnd_ = static_cast<std::int64_t>(end) + 86399;
  runUser(userNumber, punches_);
}

void Run::runUser(std::int32_t userNumber, std::vector<Punch>& punches) {
  if (punches.empty()) return;
  // Ascending time; a punch with the same time as an earlier one in the file goes before it.
  std::reverse(punches.begin(), punches.end());
  std::stable_sort(punches.begin(), punches.end(), [](const Punch& a, const Punch& b) { return a.time < b.time; });
  std::printf("logcount: %d\n", static_cast<int>(punches.size()));

  user_ = userNumber;
  const UserRecord* user = inputs_.findUser(userNumber);
  const bool hasSchedule =
      user && std::any_of(user->shifts.begin(), user->shifts.end(), [](std::uint16_t s) { return s != 0; });
  periods_.clear();
  if (hasSchedule) {
    buildPeriods(*user, rangeStart_);
    std::printf("after GetEasyWorkTime User: %d\n", static_cast<int>(userNumber));
  }
  std::printf("after prepare!\n");
  if (hasSchedule) {
    merge();
    files_.totals.appendRecord(totals_);
    totals_ = UserTotalsRecord{};
  }
  periods_.clear();
}

void Run::buildPeriods(const UserRecord& user, std::int64_t start) {
  const auto& s = user.shifts;
  std::printf("user.tineszone: %d\t%d\t%d\t%d\n", s[0], s[1], s[2], s[3]);
  periods_.clear();
  for (std::int64_t day = start; day <= rangeEnd_; day += kDay) {
    for (std::size_t k = 0; k < 4; ++k) {
      if (s[k] == 0) continue;
      const TurnRecord* turn = inputs_.findTurn(s[k]);
      if (!turn) break;
      const std::int64_t S = turn->startSeconds(), E = turn->endSeconds();
      const std::int64_t half = (E - S) / 2;
      WorkPeriod w;
      w.units = shiftUnits(E - S, rule_.workUnitMinutes);
      w.scheduledStart = day + S;
      w.scheduledEnd = day + E;
      w.inWindowStart = day + S - half;
      if (k > 0 && s[k - 1] != 0) {
        if (const TurnRecord* before = inputs_.findTurn(s[k - 1]))
          w.inWindowStart = day + S - (S - before->endSeconds()) / 2;
      }
      w.inWindowEnd = day + S + half - 60;
      w.outWindowStart = day + E - half;
      w.outWindowEnd = day + E + half;
      if (k < 3 && s[k + 1] != 0) {
        if (const TurnRecord* after = inputs_.findTurn(s[k + 1]))
          w.outWindowEnd = day + E + (after->startSeconds() - E) / 2 - 60;
      }
      w.shift = s[k];
      w.grace = rule_.graceMinutes;
      w.index = static_cast<std::int32_t>(periods_.size());
      periods_.push_back(w);
    }
  }
}

// ---- Streams ---------------------------------------------------------------

CheckPoint Run::generatePoint() {
  const std::size_t i = pointsGenerated_++;
  if (i >= 2 * periods_.size()) return CheckPoint{NoMoreTime, NoMoreTime, NoMoreTime, kIn, -1};
  const WorkPeriod& w = periods_[i / 2];
  if (i % 2 == 0) return CheckPoint{w.scheduledStart, w.inWindowStart, w.inWindowEnd, kIn, w.index};
  CheckPoint c{w.scheduledEnd, w.outWindowStart, w.outWindowEnd, kOut, w.index};
  if (c.windowStart > c.time) c.windowStart -= kDay;
  if (c.windowEnd > c.time + kDay) c.windowEnd -= kDay;
  return c;
}

void Run::cutCurrentWindow() {
  if (currentPoint_.windowEnd > nextPoint_.time) currentPoint_.windowEnd = nextPoint_.time - 1;
}

void Run::advancePoints() {
  previousPoint_ = currentPoint_;
  currentPoint_ = nextPoint_;
  if (currentPoint_.time == NoMoreTime) {
    hasCurrentPoint_ = false;
    return;
  }
  nextPoint_ = generatePoint();
  cutCurrentWindow();
}

bool Run::advancePunches(bool keepPrevious, bool keepCurrent) {
  if (!keepPrevious) previous_ = current_;
  if (!keepCurrent) current_ = next_;
  if (next_.time == NoMoreTime) return false;
  const bool afterWasEmpty = afterNext_.time == NoMoreTime;
  next_ = afterNext_;
  if (!afterWasEmpty) {
    ++readPosition_;
    afterNext_ = readPosition_ < punches_.size() ? Slot{punches_[readPosition_].time, punches_[readPosition_].kind}
                                                 : Slot{};
  }
  return true;
}

// ---- Merge -----------------------------------------------------------------

bool Run::isExceptionKind(char kind) const {
  for (const auto& r : exceptionRules_)
    if (r.active && (kind == r.startKind || kind == r.endKind)) return true;
  return false;
}

Run::Verdict Run::compare() {
  const std::int64_t P = current_.time, N = next_.time;
  CheckPoint& C = currentPoint_;
  if (P < C.windowStart) return Verdict::Extra;
  if (C.pointKind == kOut) {
    if (P >= C.windowEnd) return Verdict::Pass;
    if (afterNext_.kind != kIn) afterNext_.kind = kOut;
    const std::uint32_t gap = static_cast<std::uint32_t>(rule_.minPunchGapMinutes) * 60u;
    // Of several punches in the check-out window the last is taken.
    if (N < C.windowEnd || N < C.time || u32(N) < u32(P) + gap) return Verdict::Extra;
  }
  if (P >= C.windowEnd) return Verdict::Pass;
  if (isExceptionKind(current_.kind)) return Verdict::Extra;
  // Kind repair: a punch whose follower still lies in this window keeps the
  // kind the schedule expects around it.
  if (N < C.windowEnd &&
      (P < previousPoint_.windowEnd || (P < C.time && next_.kind != current_.kind))) {
    next_.kind = C.pointKind;
    current_.kind = previousPoint_.pointKind;
  }
  if (P > nextPoint_.windowStart && N > nextPoint_.time) {
    current_.kind = nextPoint_.pointKind;
    return Verdict::Pass;
  }
  return Verdict::Take;
}

void Run::merge() {
  previous_ = Slot{0, 0};
  current_ = Slot{punches_[0].time, punches_[0].kind};
  next_ = punches_.size() > 1 ? Slot{punches_[1].time, punches_[1].kind} : Slot{};
  afterNext_ = punches_.size() > 2 ? Slot{punches_[2].time, punches_[2].kind} : Slot{};
  readPosition_ = 2;

  pointsGenerated_ = 0;
  previousPoint_ = CheckPoint{0, 0, 0, kOut, -2};
  currentPoint_ = generatePoint();
  hasCurrentPoint_ = currentPoint_.time != NoMoreTime;
  nextPoint_ = hasCurrentPoint_ ? generatePoint() : currentPoint_;
  if (hasCurrentPoint_) cutCurrentWindow();
  periodOpen_ = false;

  bool more = true;
  while (more) {
    if (!hasCurrentPoint_) {
      handleExtra();
      more = advancePunches(true, false);
      continue;
    }
    switch (compare()) {
      case Verdict::Pass:
        if (currentPoint_.pointKind == kIn) openPeriod(currentPoint_.periodIndex);
        advancePoints();
        break;
      case Verdict::Take:
        takePunch();
        more = advancePunches(false, false);
        advancePoints();
        break;
      case Verdict::Extra:
        handleExtra();
        more = advancePunches(true, false);
        break;
    }
  }
  while (hasCurrentPoint_) {
    if (currentPoint_.pointKind == kIn) openPeriod(currentPoint_.periodIndex);
    advancePoints();
  }
  if (periodOpen_) closePeriod();
}

void Run::takePunch() {
  if (currentPoint_.pointKind == kIn) {
    openPeriod(currentPoint_.periodIndex);
    open_.checkIn = i32(current_.time);
    appendPunch(current_.time, current_.kind, kIn, 0);
  } else {
    if (periodOpen_) open_.checkOut = i32(current_.time);
    appendPunch(current_.time, current_.kind, kOut, 0);
  }
}

void Run::handleExtra() {
  for (const auto& r : exceptionRules_) {
    if (!r.active || current_.kind != r.startKind || next_.kind != r.endKind) continue;
    const std::int64_t gap = next_.time - current_.time;
    if (next_.time < currentPoint_.time && gap > 0 && gap <= r.limitSeconds) {
      writeException(r, current_, next_);
      // The second punch of the pair is classified by the pair's own record.
      advancePunches(true, false);
      return;
    }
  }
  if (isExceptionKind(current_.kind)) {
    appendPunch(current_.time, current_.kind, ' ', 1);
    return;
  }
  const std::uint32_t gap = static_cast<std::uint32_t>(rule_.minPunchGapMinutes) * 60u;
  const std::uint32_t P = u32(current_.time);
  if (P < u32(previous_.time) + gap || P > u32(next_.time) - gap)
    appendPunch(current_.time, current_.kind, ' ', 2);
  else
    appendPunch(current_.time, current_.kind, ' ', 1);
}

void Run::writeException(const ExceptionRule& rule, const Slot& first, const Slot& second) {
  ExceptionRecord x;
  x.start = i32(first.time);
  x.end = i32(second.time);
  x.type = rule.type;
  x.duration = i32(second.time - first.time);
  const std::int64_t s = std::max(first.time, rangeStart_), e = std::min(second.time, rangeEnd_);
  if (e > s) {
    x.clippedDuration = i32(e - s);
    std::int64_t overlap = 0;
    for (const WorkPeriod& w : periods_) {
      std::int64_t day = dayStart(w.scheduledStart);
      if (rule_.crossMidnight != 0 && dayStart(w.scheduledEnd) > s) day += kDay;
      if (day < rangeStart_) continue;
      if (day > rangeEnd_) break;
      const std::int64_t lo = std::max(w.scheduledStart, s), hi = std::min(w.scheduledEnd, e);
      if (hi > lo) {
        overlap += hi - lo;
        x.units += w.units;
      }
    }
    x.scheduledOverlap = i32(overlap);
  }
  std::int64_t day = dayStart(first.time);
  if (rule_.crossMidnight != 0 && dayStart(second.time) > day && rule.type <= 1) day += kDay;
  x.day = i32(day);
  x.code = rule.type;
  x.userNumber = user_;
  files_.exceptions.appendRecord(x);
  if (files_.exceptions.isOpen()) exceptionsByUser_[user_].push_back({x.start, x.end, x.type, x.code});

  switch (rule.type) {
    case 0: ++totals_.exception0Count; addTo(totals_.exception0Seconds, x.clippedDuration); break;
    case 1: ++totals_.exception1Count; addTo(totals_.exception1Seconds, x.clippedDuration); break;
    case 2: ++totals_.exception2Count; addTo(totals_.exception2Seconds, x.clippedDuration); break;
    default: ++totals_.exception3Count; addTo(totals_.exception3Seconds, x.clippedDuration); break;
  }
  // Even types mark the pair 'i' 'o', odd types '0' '1'.
  const bool odd = rule.type % 2 != 0;
  appendPunch(first.time, first.kind, odd ? '0' : 'i', rule.reason);
  appendPunch(second.time, second.kind, odd ? '1' : 'o', rule.reason);
}

// ---- Periods and totals ------------------------------------------------------

void Run::openPeriod(std::int32_t periodIndex) {
  if (periodOpen_) closePeriod();
  open_ = PeriodRecord{};
  open_.userNumber = user_;
  open_.periodIndex = periodIndex;
  periodOpen_ = true;
}

void applyExceptions(PeriodRecord& r, std::int64_t a, std::int64_t b, std::span<const ExceptionSpan> exceptions) {
  for (const ExceptionSpan& x : exceptions) {
    if (x.code == -1) continue;
    const std::int32_t code = x.code != 0 ? x.code : x.type;
    if (code == 0) continue;
    const std::int64_t s = x.start, e = x.end;
    if (s <= a && e >= b) {
      r.exceptionCode = static_cast<std::uint8_t>(code);
      r.inState = r.outState = 2;
      r.lateSeconds = r.earlySeconds = 0;
      r.absent = 2;
      return;
    }
    if (s <= a && a <= e && e < b) {
      r.inState = 2;
      r.lateSeconds = 0;
      if (r.exceptionCode == 0) r.exceptionCode = static_cast<std::uint8_t>(code);
    } else if (a < s && s <= b && e >= b) {
      r.outState = 2;
      r.earlySeconds = 0;
      if (r.exceptionCode == 0) r.exceptionCode = static_cast<std::uint8_t>(code);
    }
  }
}

void Run::closePeriod() {
  PeriodRecord& r = open_;
  periodOpen_ = false;
  if (r.periodIndex < 0 || static_cast<std::size_t>(r.periodIndex) >= periods_.size()) return;
  const WorkPeriod& w = periods_[static_cast<std::size_t>(r.periodIndex)];
  r.shift = static_cast<std::uint8_t>(w.shift);
  r.scheduledStart = i32(w.scheduledStart);
  r.scheduledEnd = i32(w.scheduledEnd);
  r.units = w.units;
  std::int64_t day = dayStart(w.scheduledStart);
  if (rule_.crossMidnight != 0 && dayStart(w.scheduledEnd) > day) day += kDay;
  r.day = i32(day);

  const std::int64_t grace = static_cast<std::int64_t>(w.grace) * 60;
  if (r.checkIn == 0 && r.checkOut == 0) {
    r.absent = 1;
    r.inState = r.outState = 2;
  } else {
    if (r.checkIn != 0) {
      r.inState = 0;
      const std::int64_t late = r.checkIn - w.scheduledStart;
      if (late > grace) r.lateSeconds = i32(late);
    } else {
      r.inState = 1;
    }
    if (r.checkOut != 0) {
      r.outState = 0;
      const std::int64_t early = w.scheduledEnd - r.checkOut;
      if (early > 0 && early > grace) r.earlySeconds = i32(early);
    } else {
      r.outState = 1;
    }
  }
  r.inRequired = r.outRequired = 1;
  if (r.lateSeconds != 0 || r.earlySeconds != 0 || r.absent != 0 || r.inState != 2 || r.outState != 2) {
    const auto found = exceptionsByUser_.find(r.userNumber);
    if (found != exceptionsByUser_.end()) applyExceptions(r, w.scheduledStart, w.scheduledEnd, found->second);
  }
  if (rule_.lateAsAbsent != 0 && r.lateSeconds % 86400 > static_cast<std::int64_t>(rule_.lateAbsentMinutes) * 60)
    r.absent = 1;
  if (rule_.earlyAsAbsent != 0 && r.earlySeconds % 86400 > static_cast<std::int64_t>(rule_.earlyAbsentMinutes) * 60)
    r.absent = 1;
  if (r.absent == 1) {
    r.lateSeconds = r.earlySeconds = 0;
  } else if (r.inState != 1 && r.outState != 1) {
    const std::int64_t out = r.checkOut != 0 ? r.checkOut : r.scheduledEnd;
    const std::int64_t in = r.checkIn != 0 ? r.checkIn : r.scheduledStart;
    r.workSeconds = i32(out - in);
  }
  files_.periods.appendRecord(r);
  addToTotals(r);
}

void Run::addToTotals(const PeriodRecord& r) {
  UserTotalsRecord& u = totals_;
  const std::int64_t length = static_cast<std::int64_t>(r.scheduledEnd) - r.scheduledStart;
  u.userNumber = r.userNumber;
  u.scheduledUnitSeconds = addUnitSeconds(u.scheduledUnitSeconds, rule_.workUnitMinutes, r.units);
  addTo(u.scheduledSeconds, length);
  if (r.absent == 0 || r.exceptionCode != 0) {
    u.attendedUnitSeconds = addUnitSeconds(u.attendedUnitSeconds, rule_.workUnitMinutes, r.units);
    addTo(u.attendedSeconds, length);
  }
  if (r.lateSeconds > 0) {
    ++u.lateCount;
    addTo(u.lateSeconds, r.lateSeconds);
  }
  if (r.earlySeconds > 0) {
    ++u.earlyCount;
    addTo(u.earlySeconds, r.earlySeconds);
  }
  if (r.absent == 1) {
    u.absentUnitSeconds = addUnitSeconds(u.absentUnitSeconds, rule_.workUnitMinutes, r.units);
    addTo(u.absentSeconds, length);
    ++u.absentCount;
  }
  if (r.inState == 1 || r.inState == 2) ++u.inNotDoneCount;
  if (r.outState == 1 || r.outState == 2) ++u.outNotDoneCount;
  if (r.checkIn > 0) ++u.checkInCount;
  if (r.checkOut > 0) ++u.checkOutCount;
  u.requiredPunches = static_cast<std::uint16_t>(u.requiredPunches + (r.inRequired == 1) + (r.outRequired == 1));
  if (r.workSeconds > 0) {
    addTo(u.workSeconds, r.workSeconds);
    if (r.units > 0) ++u.workedPeriods;
  }
}

void Run::appendPunch(std::int64_t time, char kind, char expected, std::uint16_t reason) {
  files_.punches.appendRecord(PunchRecord{user_, i32(time), static_cast<std::uint8_t>(kind),
                                          static_cast<std::uint8_t>(expected), reason});
}

}  // namespace vxreport
