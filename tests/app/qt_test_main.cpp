// The window tests' entry: one application object for all tests, made before
// them and destroyed after them.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
