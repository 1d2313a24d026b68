// The template functions are exported from the SDK library under their C names.
#include <gtest/gtest.h>

#include "builders.h"
#include "vxsdk.h"

using namespace codectest;

TEST(ExportedTemplateFunctions, ReachTheCodec) {
  Bytes source = TokenForm().minutiae(20).build();
  source.resize(vxcodec::kTemplateArea);
  Bytes dest(vxcodec::kTemplateArea);
  int length = 0;
  EXPECT_EQ(VX_FPTempLength(source.data(), &length), 1);
  EXPECT_EQ(length, 105);
  EXPECT_EQ(VX_FPTempConvert(source.data(), dest.data(), &length), 1);
  EXPECT_EQ(length, 107);
  length = 0;
  EXPECT_EQ(VX_FPTempConvertNew(dest.data(), source.data(), &length), 1);
  EXPECT_EQ(length, 105);
  EXPECT_EQ(VX_SetFPTempLength(source.data(), 60), 1);
  EXPECT_EQ(VX_FPTempLength(source.data(), &length), 1);
  EXPECT_EQ(length, 60);
  EXPECT_EQ(VX_FPTempLength(nullptr, &length), -1);
}
