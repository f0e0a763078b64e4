// Review frames of the studio look compared pixel by pixel with pictures the renderer drew before its speed
// work: a faster path may round differently, but never by more than 2 levels per channel.
// OLVENNAR_WRITE_REVIEW_FRAMES=<folder> writes the frames there instead of comparing.

#include "renderer/ReviewFrameFixtures.h"
#include "platform/media/PixelBufferViews.h"

#include <QDir>
#include <QImage>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

using namespace ReviewFrameFixtures;

constexpr int allowedLevels = 2;

QString referencePath(const QString& folder, const Review& review)
{
    return QDir(folder).filePath(QString::fromStdString(review.name) + QStringLiteral(".png"));
}

TEST(StudioRendererReviewFramesTest, FramesMatchTheReferencePictures)
{
    if (const char* writeTo = std::getenv("OLVENNAR_WRITE_REVIEW_FRAMES")) {
        QDir().mkpath(QString::fromLocal8Bit(writeTo));
        for (const Review& review : reviews())
            ASSERT_TRUE(PixelBufferViews::image(render(review)).convertToFormat(QImage::Format_RGB32).save(referencePath(QString::fromLocal8Bit(writeTo), review)));
        GTEST_SKIP() << "wrote the review frames";
    }
    for (const Review& review : reviews()) {
        const QImage reference = QImage(referencePath(QStringLiteral(OLVENNAR_TEST_DATA "/review-frames"), review)).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(reference.size(), QSize(W, H)) << review.name;
        const PixelBuffer out = render(review);
        int worst = 0;
        QPoint where;
        for (int y = 0; y < H; ++y) {
            const uint8_t* ours = out.row(y);
            const auto* theirs = reinterpret_cast<const uint8_t*>(reference.constScanLine(y));
            for (int i = 0; i < 4 * W; ++i) {
                if (i % 4 == 3)
                    continue;
                const int difference = std::abs(ours[i] - theirs[i]);
                if (difference > worst) {
                    worst = difference;
                    where = QPoint(i / 4, y);
                }
            }
        }
        EXPECT_LE(worst, allowedLevels) << review.name << " differs by " << worst << " levels at " << where.x() << "," << where.y();
    }
}

} // namespace
