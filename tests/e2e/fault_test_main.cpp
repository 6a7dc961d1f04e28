// The fault tests' entry: mounts of their own before any thread starts, then
// one application object for all tests.
#include <gtest/gtest.h>

#include <QApplication>

#include "e2e/private_mounts.h"

namespace taperly::e2e {

namespace {
std::string refusal;
}

const std::string& private_mounts_refusal() {
    return refusal;
}

}  // namespace taperly::e2e

int main(int argc, char* argv[]) {
    taperly::e2e::refusal = taperly::e2e::enter_private_mounts();
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
