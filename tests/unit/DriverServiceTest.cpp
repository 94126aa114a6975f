#include "watch/DriverService.h"

#include <gtest/gtest.h>

TEST(DriverService, DevicePathHasGlobalFromWindows2000On)
{
    EXPECT_EQ(L"\\\\.\\Harrowmere", DevicePath(4));
    EXPECT_EQ(L"\\\\.\\Global\\Harrowmere", DevicePath(5));
    EXPECT_EQ(L"\\\\.\\Global\\Harrowmere", DevicePath(10));
}
