#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>

namespace {

struct TImageCase {
    const char* file;
    const char* format;
    bool alpha;
};

class InterfacePictures : public ::testing::TestWithParam<TImageCase> {};

TEST_P(InterfacePictures, AreInstalledAndDecode)
{
    const QString path = TTempHome::InstallFolder() + "images/" + GetParam().file;
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), GetParam().format);
    const QImage image = reader.read();
    ASSERT_FALSE(image.isNull()) << path.toStdString() << ": " << reader.errorString().toStdString();
    EXPECT_GE(image.width(), 16);
    EXPECT_EQ(image.hasAlphaChannel(), GetParam().alpha);
    if (GetParam().alpha) {
        // really translucent somewhere, really opaque somewhere else
        int transparent = 0;
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const int a = qAlpha(image.pixel(x, y));
                transparent += a < 255;
                opaque += a == 255;
            }
        EXPECT_GT(transparent, 0);
        EXPECT_GT(opaque + transparent, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, InterfacePictures,
                         ::testing::Values(TImageCase{"infopanel.png", "png", true}, TImageCase{"frame.png", "png", true},
                                           TImageCase{"nopic.png", "png", false}, TImageCase{"viewer_bg.gif", "gif", false}));

TEST(InterfacePictures, InfoPanelHoldsTheViewersMeterBars)
{
    const QImage panel(TTempHome::InstallFolder() + "images/infopanel.png");
    EXPECT_GE(panel.width(), 349);
    EXPECT_GE(panel.height(), 185);
    const QImage frame(TTempHome::InstallFolder() + "images/frame.png");
    // the middle of the frame template lets the picture show through
    EXPECT_EQ(qAlpha(frame.pixel(frame.width() / 2, frame.height() / 2)), 0);
    EXPECT_GT(qAlpha(frame.pixel(5, 5)), 0);
}

} // namespace
