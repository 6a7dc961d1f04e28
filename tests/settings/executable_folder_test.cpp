#include "settings/executable_folder.h"

#include <gtest/gtest.h>

#include "settings/file_exists.h"

namespace taperly {
namespace {

TEST(ExecutableFolder, HoldsTheRunningProgram) {
    const std::string folder = executable_folder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '/');
    EXPECT_NE(folder.back(), '\\');
    EXPECT_TRUE(file_exists(join_path(folder, TAPERLY_TEST_PROGRAM))) << folder;
}

}  // namespace
}  // namespace taperly
