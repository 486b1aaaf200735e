// The block plan and the block data at the end of an image.
#include "session/FirmwareImage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace corvane::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(FirmwareImage, AJumpBackPastTheEndOfTheImageSendsOneLastBlockOfZeros) {
    const Bytes image(1000, 0x77);
    BlockPlan plan(1000);
    plan.Restart();
    ASSERT_TRUE(plan.Accept(0x00));
    ASSERT_TRUE(plan.Accept(kSteerBack));
    EXPECT_EQ(plan.Position(), 512 + 3840);
    EXPECT_EQ(plan.Mark(), kBlockMarkLast);
    EXPECT_EQ(plan.PageNumber(), 0);
    Bytes data(256, 0xEE);
    FillBlockData(image.data(), 1000, plan.Position(), data.data());
    EXPECT_EQ(data, Bytes(256, 0));
    FillBlockData(image.data(), 1000, 768, data.data());
    EXPECT_EQ(data[229], 0x77);  // image index 999
    EXPECT_EQ(data[230], 0x00);
    EXPECT_FALSE(plan.Accept(0x00));
}

}  // namespace
}  // namespace corvane::test
