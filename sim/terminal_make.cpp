// Seeded generation of whole terminals and of valid templates.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <tuple>

#include "sim/terminal.h"
#include "vxsdk/codec/codec.h"

namespace vxsim {
namespace {
constexpr std::size_t kMaxUsers = 65534;
constexpr int kMaxFingers = 10;
constexpr std::int32_t kPin2Base = 20000;

// Operations whose first parameter is a user number.
bool namesUser(int operation) { return (operation >= 6 && operation <= 12) || operation == 30; }

class Draw {
 public:
  explicit Draw(std::uint32_t seed) : rng_(seed) {}
  // A number from 0 to n - 1.
  std::uint32_t below(std::uint32_t n) { return n == 0 ? 0 : std::uniform_int_distribution<std::uint32_t>(0, n - 1)(rng_); }
  bool chance(std::uint32_t percent) { return below(100) < percent; }
  std::uint32_t any() { return static_cast<std::uint32_t>(rng_()); }

 private:
  std::mt19937 rng_;
};

User makeUser(std::uint16_t number, Draw& draw) {
  User u;
  u.number = number;
  u.pin2 = kPin2Base + number;
  u.userId = std::to_string(u.pin2);
  char name[16];
  std::snprintf(name, sizeof name, "User%04u", static_cast<unsigned>(number % 10000));
  u.name = name;
  if (number == 1)
    u.privilege = 14;
  else if (number % 50 == 0)
    u.privilege = number % 100 == 0 ? 6 : 2;
  if (number % 17 == 0) u.privilege |= 1;
  if (number % 3 == 0) u.password = std::to_string(10000 + draw.below(90000));
  if (number % 2 == 0) {
    u.card = draw.any();
    u.cardExtra = static_cast<std::uint8_t>(draw.below(256));
  }
  u.group = static_cast<std::uint8_t>(1 + number % 15);
  if (number % 5 == 0) {
    const std::size_t zones = 1 + draw.below(3);
    for (std::size_t i = 0; i < zones; ++i) u.timeZones.push_back(static_cast<std::uint8_t>(1 + draw.below(50)));
  }
  u.department = static_cast<std::uint8_t>(1 + number % 5);
  for (auto& shift : u.shifts) shift = static_cast<std::uint16_t>(draw.below(4));
  u.extendedValue = static_cast<std::uint8_t>(number);
  return u;
}

// Each finger of each user has a template of its own.
std::uint32_t templateSeed(std::uint32_t seed, std::uint16_t number, int finger) {
  return seed * 2654435761u ^ (static_cast<std::uint32_t>(number) << 4 | static_cast<std::uint32_t>(finger));
}

// Most records follow within 1023 seconds; one in ten a few hours later.
std::int32_t nextTime(std::int32_t time, Draw& draw) {
  return time + static_cast<std::int32_t>(draw.chance(90) ? 1 + draw.below(600) : 3600 + draw.below(4 * 3600));
}
}  // namespace

Bytes makeTemplate(std::uint32_t seed) {
  Draw draw(seed);
  auto model = std::make_unique<vxcodec::TemplateModel>();
  model->quality = static_cast<std::uint8_t>(40 + draw.below(60));
  model->minutiaCount = static_cast<std::int32_t>(25 + draw.below(40));
  for (int i = 0; i < model->minutiaCount; ++i) {
    auto& m = model->minutiae[i];
    m.x = static_cast<std::int32_t>(draw.below(512));
    m.y = static_cast<std::int32_t>(draw.below(512));
    m.direction = static_cast<std::int32_t>(draw.below(256));
    m.auxA = static_cast<std::int32_t>(draw.below(64)) - 1;
    m.auxB = static_cast<std::int32_t>(draw.below(256));
  }
  model->singularCount = static_cast<std::int32_t>(draw.below(3));
  for (int i = 0; i < model->singularCount; ++i) {
    auto& p = model->singularPoints[i];
    p.x = static_cast<std::int32_t>(draw.below(512));
    p.y = static_cast<std::int32_t>(draw.below(512));
    p.angle = static_cast<std::int32_t>(draw.below(360));
    p.type = static_cast<std::int32_t>(draw.below(8)) - 1;
  }
  // A block-direction grid that turns slowly, with a few empty cells.
  const int side = static_cast<int>(8 + draw.below(9));
  model->grid.width = model->grid.height = side;
  int direction = static_cast<int>(draw.below(120));
  for (int r = 0; r < side; ++r) {
    for (int c = 0; c < side; ++c) {
      direction = (direction + static_cast<int>(draw.below(7)) - 3 + 120) % 120;
      model->grid.cells[r][c] = draw.chance(10) ? vxcodec::kEmptyCell : static_cast<std::uint8_t>(direction);
    }
  }
  Bytes out(vxcodec::kMaxEncodedLength);
  out.resize(vxcodec::encodeTokenForm(*model, true, out));
  return out;
}

TerminalData makeTerminal(const TerminalRecipe& recipe) {
  Draw draw(recipe.seed);
  TerminalData t;
  const std::size_t users = std::min(recipe.users, kMaxUsers);
  t.users.reserve(users);
  for (std::size_t i = 1; i <= users; ++i) t.users.push_back(makeUser(static_cast<std::uint16_t>(i), draw));

  const int fingers = std::clamp(recipe.fingersPerUser, 0, kMaxFingers);
  t.templates.reserve(users * static_cast<std::size_t>(fingers));
  for (const User& u : t.users) {
    for (int f = 0; f < fingers; ++f)
      t.templates.push_back({u.number, static_cast<std::uint8_t>(f), makeTemplate(templateSeed(recipe.seed, u.number, f))});
  }

  // Records name the generated users, or numbers 1 to 100 on a terminal without users.
  const auto someUser = [&]() -> std::pair<std::uint16_t, std::string> {
    if (t.users.empty()) {
      const auto n = static_cast<std::uint16_t>(1 + draw.below(100));
      return {n, std::to_string(kPin2Base + n)};
    }
    const User& u = t.users[draw.below(static_cast<std::uint32_t>(t.users.size()))];
    return {u.number, u.userId};
  };

  t.attendance.reserve(recipe.attendance);
  std::int32_t time = recipe.firstTime;
  for (std::size_t i = 0; i < recipe.attendance; ++i) {
    AttendanceRecord r;
    std::tie(r.number, r.userId) = someUser();
    r.time = time;
    r.verifyMode = static_cast<std::uint8_t>(draw.below(4));
    r.state = static_cast<std::uint8_t>(draw.below(6));
    if (i % 3 == 0) r.workCode = 1 + draw.below(999);
    t.attendance.push_back(std::move(r));
    time = nextTime(time, draw);
  }

  t.operations.reserve(recipe.operations);
  time = recipe.firstTime;
  for (std::size_t i = 0; i < recipe.operations; ++i) {
    OperationRecord r;
    r.admin = t.users.empty() ? 0 : 1;
    r.operation = static_cast<std::uint8_t>(draw.below(31));
    r.time = time;
    r.parameters[0] = namesUser(r.operation) ? someUser().first : static_cast<std::uint16_t>(draw.below(10));
    for (std::size_t p = 1; p < r.parameters.size(); ++p) r.parameters[p] = static_cast<std::uint16_t>(draw.below(100));
    t.operations.push_back(r);
    time = nextTime(time, draw);
  }

  t.realTime.reserve(recipe.realTime);
  for (std::size_t i = 0; i < recipe.realTime; ++i) {
    RealTimeRecord r;
    r.number = someUser().first;
    r.event.resize(36);
    for (auto& b : r.event) b = static_cast<std::uint8_t>(draw.below(256));
    t.realTime.push_back(std::move(r));
  }
  return t;
}

}  // namespace vxsim
