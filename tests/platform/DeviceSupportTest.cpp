#include <gtest/gtest.h>

#include "DeviceSupport.h"

namespace {

TEST(DeviceSupport, ErrorCodesHaveMessagesAndNothingElseHas) {
    for (int code : {-1, -2, -3}) EXPECT_FALSE(ConvertErrorToString(code).empty()) << code;
    for (int value : {0, 1, 2, 3, 4, -4, 200}) EXPECT_EQ(ConvertErrorToString(value), "") << value;
}

TEST(DeviceSupport, EveryStateHasAText) {
    EXPECT_EQ(ConvertUpdateStateJava(0), "No update pending");
    EXPECT_EQ(ConvertUpdateStateJava(2), "Update done: reboot to start the new image");
    EXPECT_EQ(ConvertUpdateStateJava(7), "Unknown update state 7");
    EXPECT_EQ(ConvertUpdateStateJava(-2147483647 - 1), "Unknown update state -2147483648");
}

TEST(DeviceSupport, ToStdStringIsDecimal) {
    EXPECT_EQ(ToStdString(0), "0");
    EXPECT_EQ(ToStdString(-42), "-42");
    EXPECT_EQ(ToStdString(2147483647), "2147483647");
}

}  // namespace
