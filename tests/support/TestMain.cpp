// Test entry: a Qt core application around GoogleTest, so tests that need an
// event loop (network clients, coroutines) can run one.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName("QuillmarkTests");
    QCoreApplication::setApplicationName("QuillmarkTests");
    return RUN_ALL_TESTS();
}
