#include <gtest/gtest.h>

#include "foundation/text.h"

TEST(TextCp932, Placeholder) { EXPECT_EQ(qm::cp932CodeOf(U'あ'), 0x82A0); }
