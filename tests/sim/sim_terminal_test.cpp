// The stored-data model: generated terminals are reproducible and valid, and
// terminal files keep them whole and refuse damaged ones.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "sim/terminal.h"
#include "vxsdk/codec/codec.h"

namespace {
class TempFile {
 public:
  TempFile() : path_("/tmp/vxsim_terminal_" + std::to_string(getpid()) + "_" + std::to_string(counter_++)) {}
  ~TempFile() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }
  void write(const vxsim::Bytes& bytes) const {
    std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
  }
  vxsim::Bytes read() const {
    std::ifstream in(path_, std::ios::binary);
    return vxsim::Bytes(std::istreambuf_iterator<char>(in), {});
  }

 private:
  static inline int counter_ = 0;
  std::string path_;
};

const vxsim::TerminalRecipe kRecipe{
    .seed = 21, .users = 60, .attendance = 500, .operations = 50, .realTime = 5, .fingersPerUser = 2};

TEST(MakeTerminal, SameRecipeSameTerminalAndValidTemplates) {
  const vxsim::TerminalData a = vxsim::makeTerminal(kRecipe);
  EXPECT_EQ(a, vxsim::makeTerminal(kRecipe));
  vxsim::TerminalRecipe other = kRecipe;
  other.seed = 22;
  EXPECT_NE(a, vxsim::makeTerminal(other));
  EXPECT_EQ(a.users.size(), 60u);
  EXPECT_EQ(a.templates.size(), 120u);
  for (std::size_t i = 1; i < a.attendance.size(); ++i) ASSERT_GE(a.attendance[i].time, a.attendance[i - 1].time);
  for (const auto& t : a.templates) {
    EXPECT_EQ(vxcodec::templateForm(t.bytes), vxcodec::Form::Token);
    EXPECT_EQ(vxcodec::templateLength(t.bytes), t.bytes.size());
    EXPECT_GE(t.bytes.size(), 150u);
    EXPECT_LE(t.bytes.size(), 600u);
  }
  EXPECT_EQ(vxsim::makeTerminal({.users = 70000}).users.size(), 65534u) << "internal numbers end at 65534";
}

TEST(TerminalFile, KeepsATerminalWholeAndRefusesDamagedFiles) {
  vxsim::TerminalData data = vxsim::makeTerminal(kRecipe);
  data.userForm = vxsim::UserForm::StringId72;
  TempFile file;
  ASSERT_TRUE(vxsim::saveTerminal(data, file.path()));
  EXPECT_EQ(vxsim::loadTerminal(file.path()), data);
  const vxsim::Bytes bytes = file.read();

  // Cut anywhere, or with a byte more, the file is not taken.
  TempFile damaged;
  for (std::size_t n : {std::size_t{0}, std::size_t{7}, std::size_t{12}, bytes.size() / 2, bytes.size() - 1}) {
    damaged.write(vxsim::Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n)));
    EXPECT_FALSE(vxsim::loadTerminal(damaged.path())) << n;
  }
  vxsim::Bytes longer = bytes;
  longer.push_back(0);
  damaged.write(longer);
  EXPECT_FALSE(vxsim::loadTerminal(damaged.path()));
  // A count that the file cannot hold is refused before anything is allocated for it.
  vxsim::Bytes huge = bytes;
  huge[10] = huge[11] = huge[12] = huge[13] = 0xFF;
  damaged.write(huge);
  EXPECT_FALSE(vxsim::loadTerminal(damaged.path()));
  vxsim::Bytes badForm = bytes;
  badForm[8] = 9;
  damaged.write(badForm);
  EXPECT_FALSE(vxsim::loadTerminal(damaged.path()));
  EXPECT_FALSE(vxsim::loadTerminal("/nonexistent/terminal.vxt"));
  EXPECT_FALSE(vxsim::saveTerminal(data, "/nonexistent/terminal.vxt"));
}
}  // namespace
