#include "oracle.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "support.h"
#include "vxsdk/report/files.h"

namespace vxtest {
namespace {

using i64 = std::int64_t;
constexpr i64 NM = NoMoreTime;

template <class R>
bool readAt(std::FILE* f, long index, R& out) {
  if (!f) return false;
  std::array<std::uint8_t, R::kSize> b{};
  // A scan starts at the first record and then reads on sequentially.
  if (index == 0 && std::fseek(f, 0, SEEK_SET) != 0) return false;
  if (std::fread(b.data(), 1, b.size(), f) != b.size()) return false;
  out = R::decode(b);
  return true;
}

template <class R>
void append(std::FILE* f, const R& r) {
  if (!f) return;
  const auto b = encodeRecord(r);
  std::fseek(f, 0, SEEK_END);
  std::fwrite(b.data(), 1, b.size(), f);
}

bool findUser(std::FILE* f, i64 number, UserRecord& u) {
  for (long i = 0; readAt(f, i, u); ++i)
    if (u.userNumber != 0 && u.userNumber == number) return true;
  return false;
}
bool findTurn(std::FILE* f, i64 number, TurnRecord& t) {
  for (long i = 0; readAt(f, i, t); ++i)
    if (t.number == number) return true;
  return false;
}
bool findDept(std::FILE* f, i64 number, DepartmentRecord& d) {
  for (long i = 0; i < 16 && readAt(f, i, d); ++i)
    if (d.number == number) return true;
  return false;
}

struct P {
  i64 t;
  char k;
};
struct WP {
  i64 ss, se, iws, iwe, ows, owe;
  int shift, grace;
  float units;
  int index;
};
struct CP {
  i64 t, ws, we;
  char k;
  int pi;
};

struct Oracle {
  EngineFiles f;
  AttRuleRecord rule;
  struct Entry {
    bool on;
    char sk, ek;
    int reason, type;
  } entries[2];
  std::vector<P> punches;
  std::vector<WP> periods;
  int userNo = 0;
  i64 rs = 0, re = 0;
  P prev, cur, nxt, aft;
  std::size_t pos = 0;
  CP vp, cp, xp;
  bool haveCp = false;
  std::size_t gen = 0;
  PeriodRecord rec;
  bool open = false;
  UserTotalsRecord tot;

  bool excKind(char k) const {
    return (entries[0].on && (k == 'i' || k == 'o')) || (entries[1].on && (k == '0' || k == '1'));
  }

  void prepare() {
    std::array<std::uint8_t, 136> b{};
    if (f.rule.get()) {
      std::fseek(f.rule.get(), 0, SEEK_SET);
      (void)!std::fread(b.data(), 1, b.size(), f.rule.get());
    }
    b[100] = b[101] = 0;
    rule = AttRuleRecord::decode(b);
    entries[0] = {rule.exceptionRuleA != 0, 'i', 'o', 5, rule.exceptionRuleA == 1 ? 1 : 0};
    entries[1] = {rule.exceptionRuleB != 0, '0', '1', 4, rule.exceptionRuleB == 2 ? 3 : 2};
  }

  void punchOut(i64 t, char k, char e, int reason) {
    PunchRecord r{userNo, static_cast<std::int32_t>(t), static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(e),
                  static_cast<std::uint16_t>(reason)};
    append(f.punches.get(), r);
  }

  void calculate(int user, std::int32_t start, std::int32_t end) {
    rs = start;
    re = static_cast<i64>(end) + 86399;
    punches.clear();
    AttLogRecord a;
    for (long i = 0; punches.size() < 1000 && readAt(f.log.get(), i, a); ++i) {
      if (user != 0 && a.userNumber != user) continue;
      if (a.time <= 0 || a.time >= NoMoreTime || a.time < start || a.time > end) continue;
      const P p{a.time, statusCharacter(a.status)};
      auto it = std::lower_bound(punches.begin(), punches.end(), p.t, [](const P& x, i64 t) { return x.t < t; });
      punches.insert(it, p);
    }
    if (punches.empty()) return;
    userNo = user;
    UserRecord u;
    const bool found = findUser(f.users.get(), user, u);
    const bool sched = found && (u.shifts[0] || u.shifts[1] || u.shifts[2] || u.shifts[3]);
    periods.clear();
    if (!sched) return;
    build(u, start);
    mergeAll();
    append(f.totals.get(), tot);
    tot = UserTotalsRecord{};
  }

  void build(const UserRecord& u, i64 start) {
    TurnRecord t, o;
    for (i64 D = start; D <= re; D += 86400) {
      for (int k = 0; k < 4; ++k) {
        if (!u.shifts[k]) continue;
        if (!findTurn(f.shifts.get(), u.shifts[k], t)) break;
        const i64 S = (t.startHour * 60 + t.startMinute) * 60, E = (t.endHour * 60 + t.endMinute) * 60;
        const i64 half = (E - S) / 2;
        WP w{};
        const std::uint32_t div = rule.workUnitMinutes * 60u;
        w.units = div ? static_cast<float>(static_cast<std::uint32_t>(E - S) / div) : 0.0f;
        w.ss = D + S;
        w.se = D + E;
        w.iws = D + S - half;
        if (k > 0 && u.shifts[k - 1] && findTurn(f.shifts.get(), u.shifts[k - 1], o))
          w.iws = D + S - (S - (o.endHour * 60 + o.endMinute) * 60) / 2;
        w.iwe = D + S + half - 60;
        w.ows = D + E - half;
        w.owe = D + E + half;
        if (k < 3 && u.shifts[k + 1] && findTurn(f.shifts.get(), u.shifts[k + 1], o))
          w.owe = D + E + ((o.startHour * 60 + o.startMinute) * 60 - E) / 2 - 60;
        w.shift = u.shifts[k];
        w.grace = rule.graceMinutes;
        w.index = static_cast<int>(periods.size());
        periods.push_back(w);
      }
    }
  }

  CP nextCp() {
    const std::size_t i = gen++;
    if (i / 2 >= periods.size()) return CP{NM, NM, NM, 'I', -1};
    const WP& w = periods[i / 2];
    if (i % 2 == 0) return CP{w.ss, w.iws, w.iwe, 'I', w.index};
    CP c{w.se, w.ows, w.owe, 'O', w.index};
    if (c.ws > c.t) c.ws -= 86400;
    if (c.we > c.t + 86400) c.we -= 86400;
    return c;
  }
  void cut() {
    if (cp.we > xp.t) cp.we = xp.t - 1;
  }
  void stepCp() {
    vp = cp;
    cp = xp;
    if (cp.t == NM) {
      haveCp = false;
      return;
    }
    xp = nextCp();
    cut();
  }
  P slotAt(std::size_t i) const { return i < punches.size() ? punches[i] : P{NM, 0}; }
  bool stepP(bool keepPrev) {
    if (!keepPrev) prev = cur;
    cur = nxt;
    if (nxt.t == NM) return false;
    const bool wasEmpty = aft.t == NM;
    nxt = aft;
    if (!wasEmpty) aft = slotAt(++pos);
    return true;
  }

  void openRec(int idx) {
    if (open) closeRec();
    rec = PeriodRecord{};
    rec.userNumber = userNo;
    rec.periodIndex = idx;
    open = true;
  }

  void closeRec() {
    const WP& w = periods[static_cast<std::size_t>(rec.periodIndex)];
    PeriodRecord& R = rec;
    R.shift = static_cast<std::uint8_t>(w.shift & 0xff);
    R.scheduledStart = static_cast<std::int32_t>(w.ss);
    R.scheduledEnd = static_cast<std::int32_t>(w.se);
    R.units = w.units;
    i64 day = w.ss - w.ss % 86400;
    if (rule.crossMidnight && w.se - w.se % 86400 > day) day += 86400;
    R.day = static_cast<std::int32_t>(day);
    if (!R.checkIn && !R.checkOut) {
      R.absent = 1;
      R.inState = R.outState = 2;
    } else {
      if (R.checkIn) {
        R.inState = 0;
        if (R.checkIn - w.ss > static_cast<i64>(w.grace) * 60) R.lateSeconds = static_cast<std::int32_t>(R.checkIn - w.ss);
      } else {
        R.inState = 1;
      }
      if (R.checkOut) {
        R.outState = 0;
        const i64 d = w.se - R.checkOut;
        if (d > 0 && d > static_cast<i64>(w.grace) * 60) R.earlySeconds = static_cast<std::int32_t>(d);
      } else {
        R.outState = 1;
      }
    }
    R.inRequired = R.outRequired = 1;
    if (R.lateSeconds || R.earlySeconds || R.absent || R.inState != 2 || R.outState != 2) {
      ExceptionRecord x;
      for (long i = 0; readAt(f.exceptions.get(), i, x); ++i) {
        if (x.userNumber != userNo || x.code == -1) continue;
        const int code = x.code ? x.code : x.type;
        if (!code) continue;
        const i64 s = x.start, e = x.end, a = w.ss, b = w.se;
        if (s <= a && e >= b) {
          R.exceptionCode = static_cast<std::uint8_t>(code);
          R.inState = R.outState = 2;
          R.lateSeconds = R.earlySeconds = 0;
          R.absent = 2;
          break;
        } else if (s <= a && a <= e && e < b) {
          R.inState = 2;
          R.lateSeconds = 0;
          if (!R.exceptionCode) R.exceptionCode = static_cast<std::uint8_t>(code);
        } else if (a < s && s <= b && e >= b) {
          R.outState = 2;
          R.earlySeconds = 0;
          if (!R.exceptionCode) R.exceptionCode = static_cast<std::uint8_t>(code);
        }
      }
    }
    if (rule.lateAsAbsent && R.lateSeconds % 86400 > static_cast<i64>(rule.lateAbsentMinutes) * 60) R.absent = 1;
    if (rule.earlyAsAbsent && R.earlySeconds % 86400 > static_cast<i64>(rule.earlyAbsentMinutes) * 60) R.absent = 1;
    if (R.absent == 1) {
      R.lateSeconds = R.earlySeconds = 0;
    } else if (R.inState != 1 && R.outState != 1) {
      R.workSeconds = static_cast<std::int32_t>((R.checkOut ? R.checkOut : R.scheduledEnd) -
                                                static_cast<i64>(R.checkIn ? R.checkIn : R.scheduledStart));
    }
    append(f.periods.get(), R);
    totalsAdd(R);
    open = false;
  }

  static std::uint32_t unitAdd(std::uint32_t total, double add) {
    double v = std::trunc(static_cast<double>(total) + add);
    v = std::fmod(v, 4294967296.0);
    if (v < 0) v += 4294967296.0;
    return static_cast<std::uint32_t>(v);
  }
  static void add(std::int32_t& t, i64 v) {
    t = static_cast<std::int32_t>(static_cast<std::uint32_t>(t) + static_cast<std::uint32_t>(v));
  }

  void totalsAdd(const PeriodRecord& R) {
    UserTotalsRecord& U = tot;
    const double us = static_cast<double>(rule.workUnitMinutes) * static_cast<double>(R.units) * 60.0;
    const i64 len = static_cast<i64>(R.scheduledEnd) - R.scheduledStart;
    U.userNumber = R.userNumber;
    U.scheduledUnitSeconds = unitAdd(U.scheduledUnitSeconds, us);
    add(U.scheduledSeconds, len);
    if (R.absent == 0 || R.exceptionCode != 0) {
      U.attendedUnitSeconds = unitAdd(U.attendedUnitSeconds, us);
      add(U.attendedSeconds, len);
    }
    if (R.lateSeconds > 0) U.lateCount++, add(U.lateSeconds, R.lateSeconds);
    if (R.earlySeconds > 0) U.earlyCount++, add(U.earlySeconds, R.earlySeconds);
    if (R.absent == 1) {
      U.absentUnitSeconds = unitAdd(U.absentUnitSeconds, us);
      add(U.absentSeconds, len);
      U.absentCount++;
    }
    if (R.inState == 1 || R.inState == 2) U.inNotDoneCount++;
    if (R.outState == 1 || R.outState == 2) U.outNotDoneCount++;
    if (R.checkIn > 0) U.checkInCount++;
    if (R.checkOut > 0) U.checkOutCount++;
    if (R.inRequired == 1) U.requiredPunches++;
    if (R.outRequired == 1) U.requiredPunches++;
    if (R.workSeconds > 0) {
      add(U.workSeconds, R.workSeconds);
      if (R.units > 0) U.workedPeriods++;
    }
  }

  void exception(const Entry& en, const P& F, const P& L) {
    ExceptionRecord X;
    X.start = static_cast<std::int32_t>(F.t);
    X.end = static_cast<std::int32_t>(L.t);
    X.type = en.type;
    X.duration = static_cast<std::int32_t>(L.t - F.t);
    const i64 s = std::max(F.t, rs), e = std::min(L.t, re);
    if (e > s) {
      X.clippedDuration = static_cast<std::int32_t>(e - s);
      i64 ov = 0;
      for (const WP& w : periods) {
        i64 day = w.ss - w.ss % 86400;
        if (rule.crossMidnight && w.se - w.se % 86400 > s) day += 86400;
        if (day < rs) continue;
        if (day > re) break;
        const i64 lo = std::max(w.ss, s), hi = std::min(w.se, e);
        if (lo < hi) ov += hi - lo, X.units += w.units;
      }
      X.scheduledOverlap = static_cast<std::int32_t>(ov);
    }
    i64 day = F.t - F.t % 86400;
    if (rule.crossMidnight && L.t - L.t % 86400 > day && en.type < 2) day += 86400;
    X.day = static_cast<std::int32_t>(day);
    X.code = en.type;
    X.userNumber = userNo;
    append(f.exceptions.get(), X);
    std::int32_t* cnt[] = {&tot.exception0Count, &tot.exception1Count, &tot.exception2Count, &tot.exception3Count};
    std::int32_t* sec[] = {&tot.exception0Seconds, &tot.exception1Seconds, &tot.exception2Seconds,
                           &tot.exception3Seconds};
    ++*cnt[en.type];
    add(*sec[en.type], X.clippedDuration);
    const char c1 = (en.type == 1 || en.type == 3) ? '0' : 'i';
    const char c2 = (en.type == 1 || en.type == 3) ? '1' : 'o';
    punchOut(F.t, F.k, c1, en.reason);
    punchOut(L.t, L.k, c2, en.reason);
  }

  void extra() {
    const i64 P_ = cur.t, N = nxt.t;
    for (const Entry& en : entries) {
      if (!en.on) continue;
      if (cur.k == en.sk && nxt.k == en.ek && N < cp.t && N - P_ > 0 &&
          N - P_ <= static_cast<i64>(rule.exceptionLimitMinutes) * 60) {
        exception(en, cur, nxt);
        stepP(true);
        return;
      }
    }
    for (const Entry& en : entries) {
      if (en.on && (cur.k == en.sk || cur.k == en.ek)) {
        punchOut(cur.t, cur.k, ' ', 1);
        return;
      }
    }
    const std::uint32_t gap = static_cast<std::uint32_t>(rule.minPunchGapMinutes) * 60u;
    const auto u = [](i64 v) { return static_cast<std::uint32_t>(v); };
    punchOut(cur.t, cur.k, ' ', (u(P_) < u(prev.t) + gap || u(P_) > u(N) - gap) ? 2 : 1);
  }

  // 0 take, 1 extra, 2 pass
  int cmp() {
    const i64 P_ = cur.t, N = nxt.t;
    if (P_ < cp.ws) return 1;
    if (cp.k == 'O') {
      if (P_ >= cp.we) return 2;
      if (aft.k != 'I') aft.k = 'O';
      const std::uint32_t gap = static_cast<std::uint32_t>(rule.minPunchGapMinutes) * 60u;
      if (N < cp.we || N < cp.t ||
          static_cast<std::uint32_t>(N) < static_cast<std::uint32_t>(P_) + gap)
        return 1;
    }
    if (P_ >= cp.we) return 2;
    if (excKind(cur.k)) return 1;
    if (N < cp.we && (P_ < vp.we || (P_ < cp.t && nxt.k != cur.k))) {
      nxt.k = cp.k;
      cur.k = vp.k;
    }
    if (P_ > xp.ws && N > xp.t) {
      cur.k = xp.k;
      return 2;
    }
    return 0;
  }

  void mergeAll() {
    prev = P{0, 0};
    cur = slotAt(0);
    nxt = slotAt(1);
    aft = slotAt(2);
    pos = 2;
    gen = 0;
    vp = CP{0, 0, 0, 'O', -2};
    cp = nextCp();
    haveCp = cp.t != NM;
    xp = cp;
    if (haveCp) {
      xp = nextCp();
      cut();
    }
    open = false;
    bool more = true;
    while (more) {
      if (!haveCp) {
        extra();
        more = stepP(true);
        continue;
      }
      const int v = cmp();
      if (v == 2) {
        if (cp.k == 'I') openRec(cp.pi);
        stepCp();
      } else if (v == 0) {
        if (cp.k == 'I') {
          openRec(cp.pi);
          rec.checkIn = static_cast<std::int32_t>(cur.t);
          punchOut(cur.t, cur.k, 'I', 0);
        } else {
          rec.checkOut = static_cast<std::int32_t>(cur.t);
          punchOut(cur.t, cur.k, 'O', 0);
        }
        more = stepP(false);
        stepCp();
      } else {
        extra();
        more = stepP(true);
      }
    }
    while (haveCp) {
      if (cp.k == 'I') openRec(cp.pi);
      stepCp();
    }
    if (open) closeRec();
  }
};

// ---- Writers -----------------------------------------------------------------

std::string esc(const std::string& s) {
  std::string o;
  for (char c : s) o += c == '&' ? std::string("&amp;") : c == '<' ? std::string("&lt;") : c == '>' ? std::string("&gt;") : std::string(1, c);
  return o;
}
std::string fmt(const char* f, long a, long b) {
  char buf[64];
  std::snprintf(buf, sizeof buf, f, a, b);
  return buf;
}
std::string date(std::int32_t t) { return fmt("%02ld-%02ld", (t / 86400 / 31) % 12 + 1, (t / 86400) % 31 + 1); }
std::string clock(std::int32_t t) { return fmt("%02ld:%02ld", (t / 3600) % 24, (t / 60) % 60); }
struct Unit {
  long div;
  std::string label;
};
Unit unit(int u) {
  if (u == 1) return {60, gb("分钟")};
  if (u == 2) return {3600, gb("小时")};
  if (u == 3) return {86400, gb("天")};
  return {1, gb("次")};
}

struct Writer {
  Oracle& o;
  const ReportRequest& q;
  AttRuleRecord rule;
  std::int32_t start, end;
  std::string page;

  std::string deptName(const UserRecord* u) {
    DepartmentRecord d;
    if (u && findDept(o.f.departments.get(), u->department, d)) return esc(d.name);
    return "&nbsp";
  }
  std::string padded(const std::string& id) { return id.size() >= 5 ? id : std::string(5 - id.size(), '0') + id; }

  void head(const std::string& title, const std::string& heading) {
    page += "<html>\r\n<head>\r\n<meta http-equiv=Content-Type content=text/html; charset=gb2312>\r\n<title>" + title +
            "</title>\r\n</head>\r\n<body>\r\n<p align=center>" + heading + "</p>\r\n";
  }
  void periodLines() {
    page += "<p align=left>" + esc(rule.title) + "</p>\r\n<p align=left>" + gb("日期") + ":" + date(start) + "&nbsp;" +
            gb("至") + "&nbsp;" + date(end) + "</p>\r\n";
  }
  std::string hm(std::int32_t t, bool eol) {
    if ((t / 3600) % 24 + (t / 60) % 60 == 0) return "&nbsp\r\n";
    return clock(t) + (eol ? "\r\n" : "");
  }

  void kind2() {
    head(gb("考勤异常"), gb("考勤异常"));
    periodLines();
    page += "<table border=1 width=98%>\r\n<tr>\r\n";
    const char* open[] = {" <td width=8% rowspan=2>", " <td width=8% rowspan=2>", " <td width=8% rowspan=2>",
                          " <td width=8% rowspan=2>", " <td width=8% rowspan=2>", " <td width=11%>",
                          " <td width=11%>", " <td width=12% rowspan=2>", " <td width=8% rowspan=2>",
                          " <td width=3% rowspan=2>", " <td width=7% rowspan=2>", " <td width=9% rowspan=2>"};
    const char* lab[] = {"日期", "工号", "姓名", "部门", "班次", "上班时间", "签到时间", "异常", "工作时长", "加班 ", "请假", "其它"};
    for (int i = 0; i < 12; ++i) page += std::string(open[i]) + gb(lab[i]) + "</td>\r\n";
    page += "</tr>\r\n<tr>\r\n <td width=11%>" + gb("上班时间") + "</td>\r\n <td width=11%>" + gb("签到时间") +
            "</td>\r\n</tr>\r\n";
    const Unit lu = unit(rule.lateUnit), eu = unit(rule.earlyUnit);
    PeriodRecord r;
    for (long i = 0; readAt(o.f.periods.get(), i, r); ++i) {
      UserRecord u;
      const bool have = findUser(o.f.users.get(), r.userNumber, u);
      TurnRecord t;
      const bool haveTurn = findTurn(o.f.shifts.get(), r.shift, t);
      page += "<tr>\r\n<td width=8%>" + date(r.day) + "</td>\r\n";
      page += "<td width=8%>" + (have ? esc(padded(u.userId)) : std::string("&nbsp")) + "</td>\r\n";
      page += "<td width=8%>" + (have ? esc(u.name) : std::string("&nbsp")) + "</td>\r\n";
      page += "<td width=8%>" + deptName(have ? &u : nullptr) + "</td>\r\n";
      page += "<td width=8%>" + (haveTurn ? esc(t.name) : gb("未设定")) + "</td>\r\n";
      page += "<td width=11%>" + hm(r.scheduledStart, true) + "<p>" + hm(r.scheduledEnd, false) + "</td>\r\n";
      page += "<td width=11%>" + hm(r.checkIn, true) + "<p>" + hm(r.checkOut, false) + "</td>\r\n";
      if (r.absent) {
        page += "<td width=12%>" + gb("旷工") + "</td>\r\n";
      } else {
        page += "<td width=12%>";
        const long L = r.lateSeconds / lu.div, E = r.earlySeconds / eu.div;
        page += L >= 1 ? gb("迟到") + "(" + std::to_string(L) + lu.label + ")\r\n" : std::string("&nbsp\r\n");
        page += E >= 1 ? "<p>" + gb("早退") + "(" + std::to_string(E) + eu.label + ")</td>\r\n"
                       : std::string("<p>&nbsp</td>\r\n");
      }
      page += "<td width=8%>" + std::to_string(r.workSeconds / 3600) + "</td>\r\n";
      page += "<td width=7%>" + gb("　") + "</td>\r\n<td width=7%>" + gb("　") + "</td>\r\n<td width=9%>" + gb("　") +
              "</td>\r\n</tr>\r\n";
    }
    page += "</table>\r\n</body>\r\n</html>\r\n";
  }

  void kind3() {
    head(gb("考勤统计"), gb("考勤统计"));
    periodLines();
    page += "<table border=1 width=100%>\r\n<tr>\r\n";
    const char* lab[] = {"工号", "姓名", "部门", "应到", "实到", "迟到", "早退", "旷工", "工作时长", "请假", "加班", "其它"};
    const int w[] = {8, 8, 8, 8, 8, 8, 8, 8, 9, 8, 9, 9};
    for (int i = 0; i < 12; ++i) page += "<td width=" + std::to_string(w[i]) + "%>" + gb(lab[i]) + "</td>\r\n";
    page += "</tr>\r\n";
    const Unit su = unit(rule.scheduleUnit), lu = unit(rule.lateUnit), eu = unit(rule.earlyUnit),
               au = unit(rule.absentUnit);
    const int lateU = rule.lateUnit >= 1 && rule.lateUnit <= 3 ? rule.lateUnit : 0;
    const int earlyU = rule.earlyUnit >= 1 && rule.earlyUnit <= 3 ? rule.earlyUnit : 0;
    const int absentU = rule.absentUnit >= 1 && rule.absentUnit <= 3 ? rule.absentUnit : 0;
    auto uq = [](std::int32_t v, long d) {
      return std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(v) / static_cast<std::uint32_t>(d)));
    };
    UserTotalsRecord r;
    for (long i = 0; readAt(o.f.totals.get(), i, r); ++i) {
      UserRecord u;
      const bool have = findUser(o.f.users.get(), r.userNumber, u);
      auto cell = [&](int width, const std::string& s) {
        page += "<td width=" + std::to_string(width) + "%>" + s + "</td>\r\n";
      };
      page += "<tr>\r\n";
      cell(8, have ? esc(padded(u.userId)) : "&nbsp");
      cell(8, have ? esc(u.name) : "&nbsp");
      cell(8, deptName(have ? &u : nullptr));
      cell(8, uq(r.scheduledSeconds, su.div) + "(" + su.label + ")");
      cell(8, uq(r.attendedSeconds, su.div) + "(" + su.label + ")");
      cell(8, std::to_string((lateU ? r.lateSeconds : r.lateCount) / lu.div) + "(" + lu.label + ")");
      cell(8, std::to_string((earlyU ? r.earlySeconds : r.earlyCount) / eu.div) + "(" + eu.label + ")");
      cell(8, std::to_string((absentU ? r.absentSeconds : r.absentCount) / au.div) + "(" + au.label + ")");
      cell(8, uq(r.workSeconds, 3600));
      cell(8, "&nbsp");
      cell(9, "&nbsp");
      cell(9, "&nbsp");
      page += "</tr>\r\n";
    }
    page += "</table>\r\n</body>\r\n</html>\r\n";
  }

  void dayCell(int user, i64 D) {
    std::vector<i64> ts;
    AttLogRecord a;
    for (long i = 0; ts.size() < 128 && readAt(o.f.log.get(), i, a); ++i)
      if (a.userNumber == user && a.time > 0 && a.time < NoMoreTime && a.time >= D && a.time <= D + 86399)
        ts.insert(std::lower_bound(ts.begin(), ts.end(), static_cast<i64>(a.time)), a.time);
    page += "<td width=6% height=1 align=center>\r\n<table border=0 cellpadding=0 cellspacing=0 width=59%>\r\n";
    for (i64 t : ts) page += "<tr>\r\n<td width=100% align=left>" + clock(static_cast<std::int32_t>(t)) + "</td>\r\n</tr>\r\n";
    if (ts.empty()) page += "<tr>\r\n<td width=100% align=left>&nbsp;</td>\r\n</tr>\r\n";
    page += "</table>\r\n</td>\r\n";
  }

  void kind1() {
    const std::string& L = q.label;
    head(L, gb("流水纪录"));
    page += "<p align=left>" + L + ":</p>\r\n<p>" + gb("　") + "</p>\r\n";
    UserRecord u;
    for (long i = 0; readAt(o.f.users.get(), i, u); ++i) {
      if (u.userNumber == 0) continue;
      bool any = false;
      AttLogRecord a;
      for (i64 D = start; D <= end && !any; D += 86400)
        for (long j = 0; !any && readAt(o.f.log.get(), j, a); ++j)
          any = a.userNumber == u.userNumber && a.time > 0 && a.time < NoMoreTime && a.time >= D && a.time <= D + 86399;
      if (!any) continue;
      page += "<table border=1 width=102% height=1 cellspacing=1 cellpadding=0>\r\n<tr>\r\n<td width=100% height=32 "
              "align=center colspan=16>\r\n";
      page += "<p align = left>" + L + ":" + esc(u.userId) + "&nbsp;&nbsp;" + L + ":" + esc(u.name) +
              "&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;" + L + ":" + deptName(&u) + "</p>\r\n</td>\r\n</tr>\r\n<tr>\r\n";
      for (int n = 1; n <= 16; ++n) page += fmt("<td width=6%% height=32 align=center>%02ld</td>", n, 0);
      page += "</tr>\r\n<tr>\r\n";
      int shown = 0;
      i64 D = start;
      for (; shown < 16 && D <= end; ++shown, D += 86400) dayCell(u.userNumber, D);
      page += "</tr>\r\n<tr>\r\n";
      for (int n = 17; n <= 31; ++n) page += fmt("<td width=6%% height=32 align=center>%02ld</td>", n, 0);
      page += "<td width=6% height=32 align=center>&nbsp;</td></tr>\r\n<tr>\r\n";
      for (int more = 0; more < 15 && D <= end; ++more, D += 86400) dayCell(u.userNumber, D);
      page += "<td width=6% height=1 align=center>\r\n<p align=left>&nbsp;</p>\r\n</td>\r\n</tr>\r\n</table>\r\n<p>" +
              gb("　") + "</p>\r\n";
    }
    page += "</body>\r\n</html>\r\n";
  }
};

}  // namespace

void oracleRun(const ReportRequest& q, std::span<const std::uint8_t> users) {
  Oracle o;
  o.f = openEngineFiles(EnginePaths{q.workDirectory, q.ruleFile, q.logFile, q.userFile, q.departmentFile, q.shiftFile});
  o.prepare();
  const std::int32_t start = encodeDeviceTime(q.start.year, q.start.month, q.start.day, q.start.hour, q.start.minute,
                                              q.start.second);
  const std::int32_t end =
      encodeDeviceTime(q.end.year, q.end.month, q.end.day, q.end.hour, q.end.minute, q.end.second);
  for (std::size_t i = 0; i + 72 <= users.size(); i += 72)
    o.calculate(users[i] | (users[i + 1] << 8), start, end);
  for (auto* f : {o.f.punches.get(), o.f.exceptions.get(), o.f.periods.get(), o.f.totals.get()})
    if (f) std::fflush(f);
  if (q.reportKind < 1 || q.reportKind > 3) return;
  Writer w{o, q, {}, start, end, {}};
  std::array<std::uint8_t, 136> b{};
  if (std::FILE* rf = o.f.rule.get()) {
    std::fseek(rf, 0, SEEK_SET);
    (void)!std::fread(b.data(), 1, b.size(), rf);
  }
  w.rule = AttRuleRecord::decode(b);
  if (q.reportKind == 1) w.kind1();
  if (q.reportKind == 2) w.kind2();
  if (q.reportKind == 3) w.kind3();
  writeBytes(q.outputFile, std::vector<std::uint8_t>(w.page.begin(), w.page.end()));
}

}  // namespace vxtest
