#include <QApplication>
#include <gtest/gtest.h>

// Widget-tree tests need an application object; the pure tests do not care that one exists.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
