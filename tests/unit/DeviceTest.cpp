#include "common/Device.h"

#include <gtest/gtest.h>

using namespace vantrel;

TEST(Device, ModelVersionKeyFollowsModelAndVersion) {
    Device device;
    device.Model = "R210-P";
    device.SetVersion(30105);
    EXPECT_EQ(device.ModelVersionKey(), "R210-P_030105");
    device.Model = "Q4200"; // no new version needed
    EXPECT_EQ(device.ModelVersionKey(), "Q4200_030105");
    for (int version : {0, -1}) {
        device.SetVersion(version);
        EXPECT_EQ(device.ModelVersionKey(), "Q4200_000000");
    }
    // Past 9,000,000 the key takes the six characters after the first of version + 10^6.
    device.SetVersion(16777215);
    EXPECT_EQ(device.ModelVersionKey(), "Q4200_777721");
}

TEST(Device, PaddedTexts) {
    EXPECT_EQ(PaddedDigits(12345, 7), "0012345");
    EXPECT_EQ(PaddedDigits(16777215, 7), "6777215");
    EXPECT_EQ(VersionText(30105), "03:01:05");
    EXPECT_EQ(VersionText(0), "00:00:00");
    EXPECT_EQ(PaddedDigits(7, 4), "0007");
}
