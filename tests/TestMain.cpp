#include <QApplication>
#include <gtest/gtest.h>

// Widget-tree tests need an application object but no screen: they run on Qt's offscreen
// platform unless told otherwise. The pure tests do not care that the object exists.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
