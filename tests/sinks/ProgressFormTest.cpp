#include "sinks/ProgressForm.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <gtest/gtest.h>

using quorvel::TProgressForm;

TEST(ProgressForm, ThinTranslucentBarAcrossTheBottomThatClicksPassThrough) {
    TProgressForm form(QStringLiteral("Uploading."));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(form.geometry(), QRect(screen.left(), screen.bottom() + 1 - 30, screen.width(), 30));
    EXPECT_TRUE(form.isVisible());
    EXPECT_NEAR(form.windowOpacity(), 140 / 255.0, 0.005);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowTransparentForInput);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(form.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(form.Label()->text(), QStringLiteral("Uploading."));
    EXPECT_EQ(form.Label()->geometry().topLeft(), QPoint(0, 8));
    EXPECT_EQ(form.Label()->font().pixelSize(), 12);
    EXPECT_FALSE(form.Gauge()->isTextVisible());
    EXPECT_EQ(form.Gauge()->value(), 0);
    form.SetProgress(1024, 4096);
    EXPECT_EQ(form.Gauge()->maximum(), 4096);
    EXPECT_EQ(form.Gauge()->value(), 1024);
}
