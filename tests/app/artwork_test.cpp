// The PNG artwork Windows builds show is the SVG artwork drawn at its sizes:
// an SVG changed without drawing the PNG files again fails here.
#include <gtest/gtest.h>

#include <QImage>
#include <QString>
#include <algorithm>
#include <cstdlib>

#include "app/artwork.h"

namespace {

// Pixels that differ clearly, as a share of all: font hinting may move an
// edge, a changed picture moves much more.
double share_unlike(const QImage& drawn, const QImage& stored) {
    const QImage a = drawn.convertToFormat(QImage::Format_ARGB32);
    const QImage b = stored.convertToFormat(QImage::Format_ARGB32);
    if (a.size() != b.size()) {
        return 1.0;
    }
    int unlike = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            const int most =
                std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                          std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
            unlike += most > 48 ? 1 : 0;
        }
    }
    return static_cast<double>(unlike) / (a.width() * a.height());
}

QImage stored(const char* name) {
    return QImage(QStringLiteral(TAPERLY_APP_SOURCE_DIR "/") + name);
}

}  // namespace

TEST(Artwork, PngTwinsAreTheSvgPicturesAtTheirSizes) {
    EXPECT_LT(share_unlike(taperly::logo_pixmap().toImage(), stored("taperly-logo.png")), 0.02);
    for (const int size : {16, 32}) {
        const QImage drawn = taperly::window_icon().pixmap(size, size).toImage();
        EXPECT_LT(
            share_unlike(drawn, stored(size == 16 ? "taperly-icon-16.png" : "taperly-icon-32.png")),
            0.02)
            << size;
    }
}
