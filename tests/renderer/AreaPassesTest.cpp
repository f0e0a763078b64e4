#include "platform/image/AreaPasses.h"
#include "platform/image/ImageResampling.h"

#include <opencv2/core/utility.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

// Column taps as the resampler makes them: starts that advance by about 1/scale, a few pixels with no
// taps (first 0, weights 0) as beside the source, weights of a pixel adding up to 256 at most.
struct RandomTaps {
    std::vector<int> first;
    std::vector<uint16_t> weights;
};

RandomTaps randomTaps(std::mt19937& random, int width, int taps, double scale, int sourceWidth)
{
    RandomTaps result;
    for (int c = 0; c < width; ++c) {
        const bool beside = random() % 17 == 0;
        const int first = beside ? 0 : std::min(static_cast<int>(c / scale), sourceWidth - 1);
        result.first.push_back(first);
        // Only source pixels have weight.
        const int reach = std::min(taps, sourceWidth - first);
        int left = beside ? 0 : 256 - static_cast<int>(random() % 3);
        for (int k = 0; k < taps; ++k) {
            const int w = k >= reach ? 0 : (k + 1 == reach ? left : static_cast<int>(random() % (left + 1)));
            result.weights.push_back(static_cast<uint16_t>(w));
            left -= w;
        }
    }
    return result;
}

std::vector<uint8_t> randomBytes(std::mt19937& random, size_t count)
{
    std::vector<uint8_t> bytes(count);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(random());
    return bytes;
}

// The sums straight from the taps as given, reading past the row's end as zero (where `columns` moves the
// taps back, those weights are zero).
std::vector<uint16_t> referenceSums(const std::vector<uint8_t>& line, const RandomTaps& taps, int count)
{
    std::vector<uint16_t> sums;
    for (size_t c = 0; c < taps.first.size(); ++c)
        for (int ch = 0; ch < 4; ++ch) {
            uint32_t s = 0;
            for (int k = 0; k < count; ++k) {
                const size_t at = 4 * static_cast<size_t>(taps.first[c] + k) + static_cast<size_t>(ch);
                s += taps.weights[c * static_cast<size_t>(count) + static_cast<size_t>(k)] * (at < line.size() ? line[at] : 0u);
            }
            sums.push_back(static_cast<uint16_t>(s));
        }
    return sums;
}

TEST(AreaPassesTest, ColumnSumsAreTheSameOnEveryPathForOddWidthsAndTheRowEnd)
{
    std::mt19937 random(7);
    for (int taps = 1; taps <= 4; ++taps) {
        for (const auto& [width, scale] : {std::pair {1, 0.7}, std::pair {7, 0.55}, std::pair {33, 0.8125}, std::pair {202, 1.0}, std::pair {515, 1.7}}) {
            SCOPED_TRACE(testing::Message() << taps << " taps, " << width << " pixels at " << scale);
            const int sourceWidth = std::max(static_cast<int>(std::ceil(width / scale)), taps);
            RandomTaps given = randomTaps(random, width, taps, scale, sourceWidth);
            // The last pixel starts on the row's last source pixel: its taps must move back to stay inside.
            given.first.back() = sourceWidth - 1;
            std::fill_n(given.weights.end() - taps, taps, uint16_t(0));
            given.weights[given.weights.size() - static_cast<size_t>(taps)] = 256;
            const std::vector<uint8_t> line = randomBytes(random, 4 * static_cast<size_t>(sourceWidth));
            const AreaPasses::Columns columns = AreaPasses::columns(given.first, given.weights, taps, sourceWidth);
            for (size_t c = 0; c < columns.first.size(); ++c)
                EXPECT_LE(columns.first[c] + taps, sourceWidth);
            const std::vector<uint16_t> expected = referenceSums(line, given, taps);
            for (bool wide : {false, true}) {
                std::vector<uint16_t> sums(4 * static_cast<size_t>(width), 1);
                AreaPasses::sumColumns(line.data(), columns, sums.data(), wide);
                EXPECT_EQ(sums, expected) << (wide ? "wide" : "plain");
            }
        }
    }
}

TEST(AreaPassesTest, PlaneColumnMixesAreTheSameOnEveryPathForAnyCountAndTaps)
{
    std::mt19937 random(41);
    // Shrinks whose groups of eight read near their starts (byte shuffles) and one whose groups spread too far
    // (gathers); a few pixels beside the source start back at 0, which no shuffle can take either.
    for (const double scale : {0.6, 0.78, 0.3})
    for (int taps = 1; taps <= 4; ++taps) {
        for (const int width : {1, 7, 8, 9, 133}) {
            SCOPED_TRACE(testing::Message() << taps << " taps, " << width << " pixels, scale " << scale);
            const int span = static_cast<int>(width / scale) + 4;
            const RandomTaps given = randomTaps(random, width, taps, scale, span);
            // Sums of a weighted row: any 16-bit value; the buffer holds 32 words past every start.
            std::vector<uint16_t> sums(static_cast<size_t>(span + 32));
            for (uint16_t& sum : sums)
                sum = static_cast<uint16_t>(random() % 65281);
            // Pixels with fewer taps than the most: their count ends at the last weight they have.
            std::vector<int> counts(static_cast<size_t>(width), taps);
            if (width > 2)
                counts[1] = 1;
            std::vector<uint16_t> weights = given.weights;
            for (int k = 1; k < taps && width > 2; ++k)
                weights[static_cast<size_t>(taps + k)] = 0;
            const AreaPasses::PlaneColumns columns = AreaPasses::planeColumns(given.first, weights, taps, counts);
            ASSERT_EQ(columns.taps, taps);
            std::vector<uint8_t> plain(static_cast<size_t>(width)), wide(static_cast<size_t>(width) + 8, 77);
            AreaPasses::mixPlaneColumns(sums.data(), columns, plain.data(), false);
            AreaPasses::mixPlaneColumns(sums.data(), columns, wide.data(), true);
            for (int c = 0; c < width; ++c) {
                uint32_t v = 32768;
                for (int k = 0; k < counts[static_cast<size_t>(c)]; ++k)
                    v += weights[static_cast<size_t>(c * taps + k)] * sums[static_cast<size_t>(given.first[static_cast<size_t>(c)] + k)];
                ASSERT_EQ(plain[static_cast<size_t>(c)], static_cast<uint8_t>(v >> 16)) << c;
                ASSERT_EQ(wide[static_cast<size_t>(c)], plain[static_cast<size_t>(c)]) << c;
            }
            EXPECT_EQ(wide[static_cast<size_t>(width)], 77) << "nothing written past the row";
        }
    }
    // More than four taps a pixel: not for this pass.
    EXPECT_EQ(AreaPasses::planeColumns({0}, {50, 50, 50, 50, 56}, 5, {5}).taps, 0);
}

TEST(AreaPassesTest, RowMixesRoundTheSameOnEveryPath)
{
    std::mt19937 random(11);
    for (int count = 0; count <= 5; ++count) {
        for (int length : {1, 31, 32, 33, 100, 6152}) {
            SCOPED_TRACE(testing::Message() << count << " rows of " << length);
            std::vector<std::vector<uint16_t>> rows;
            std::vector<const uint16_t*> pointers;
            std::vector<uint16_t> weights;
            int left = 256;
            for (int j = 0; j < count; ++j) {
                std::vector<uint16_t> row(static_cast<size_t>(length));
                // Column sums reach 255 · 256; the largest ones are the ones a wrong sign would break.
                for (uint16_t& v : row)
                    v = random() % 4 == 0 ? 65280 : static_cast<uint16_t>(random() % 65281);
                rows.push_back(std::move(row));
                const int w = j + 1 == count ? left : static_cast<int>(random() % (left + 1));
                weights.push_back(static_cast<uint16_t>(w));
                left -= w;
            }
            for (const std::vector<uint16_t>& row : rows)
                pointers.push_back(row.data());
            std::vector<uint8_t> expected(static_cast<size_t>(length));
            for (int i = 0; i < length; ++i) {
                uint64_t v = 32768;
                for (int j = 0; j < count; ++j)
                    v += static_cast<uint64_t>(weights[static_cast<size_t>(j)]) * rows[static_cast<size_t>(j)][static_cast<size_t>(i)];
                expected[static_cast<size_t>(i)] = static_cast<uint8_t>(v >> 16);
            }
            for (bool wide : {false, true}) {
                std::vector<uint8_t> out(static_cast<size_t>(length), 7);
                AreaPasses::mixRows(pointers.data(), weights.data(), count, length, out.data(), wide);
                EXPECT_EQ(out, expected) << (wide ? "wide" : "plain");
            }
        }
    }
}

// Area averages in doubles, for a picture shrunk by `scale` and moved by (dx, dy).
cv::Vec4d averageOver(const cv::Mat& source, double scale, double dx, double dy, int x, int y)
{
    const double x0 = (x - dx) / scale, x1 = (x + 1 - dx) / scale;
    const double y0 = (y - dy) / scale, y1 = (y + 1 - dy) / scale;
    cv::Vec4d sum(0, 0, 0, 0);
    for (int j = static_cast<int>(std::floor(y0)); j < static_cast<int>(std::ceil(y1)); ++j)
        for (int i = static_cast<int>(std::floor(x0)); i < static_cast<int>(std::ceil(x1)); ++i) {
            const double share = (std::min(x1, i + 1.0) - std::max(x0, static_cast<double>(i))) * (std::min(y1, j + 1.0) - std::max(y0, static_cast<double>(j)));
            if (i >= 0 && j >= 0 && i < source.cols && j < source.rows)
                sum += cv::Vec4d(source.at<cv::Vec4b>(j, i)) * share * scale * scale;
        }
    return sum;
}

TEST(AreaPassesTest, ShrinkingBetweenHalfAndWholeAveragesTheCoveredAreaOnAnyThreadSplit)
{
    std::mt19937 random(3);
    cv::Mat source(203, 311, CV_8UC4);
    for (int y = 0; y < source.rows; ++y)
        for (int x = 0; x < source.cols * 4; ++x)
            source.ptr<uint8_t>(y)[x] = static_cast<uint8_t>(random());
    const int threads = cv::getNumThreads();
    for (const double scale : {0.5, 0.61, 0.8125, 0.97}) {
        SCOPED_TRACE(scale);
        const QTransform map = QTransform::fromScale(scale, scale) * QTransform::fromTranslate(2.3, 1.6);
        // Reaching past the picture on the right and bottom, where the target is transparent.
        const QRect area(1, 0, static_cast<int>(source.cols * scale) + 3, static_cast<int>(source.rows * scale) + 2);
        cv::Mat single, several;
        cv::setNumThreads(1);
        ImageResampling::draw(source, map, area, single, ImageResampling::Filter::linear);
        cv::setNumThreads(4);
        ImageResampling::draw(source, map, area, several, ImageResampling::Filter::linear);
        EXPECT_EQ(cv::norm(single, several, cv::NORM_INF), 0);
        double worst = 0;
        for (int y = 0; y < area.height(); ++y)
            for (int x = 0; x < area.width(); ++x) {
                const cv::Vec4d expected = averageOver(source, scale, 2.3, 1.6, area.x() + x, area.y() + y);
                const cv::Vec4b got = single.at<cv::Vec4b>(y, x);
                for (int ch = 0; ch < 4; ++ch)
                    worst = std::max(worst, std::abs(got[ch] - expected[ch]));
            }
        // Weights in 256ths: a level and a half at most.
        EXPECT_LE(worst, 1.5);
    }
    cv::setNumThreads(threads);
}

} // namespace
