// Milliseconds per analysed camera frame (1280x720 in, one core) against the greyscale conversion of the same
// frame, measured in the same run: every frame searched whole, and as the framing monitor analyses (following
// the face between whole-picture searches).
#include "framing/FramingAnalyzer.h"
#include "platform/media/PixelBuffer.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <QImage>
#include <QPainter>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <algorithm>
#include <functional>

namespace {

// A desk framing: the portrait fills the height of a 1280x720 frame, so the face is ~120 px (60 px analysed).
PixelBuffer makeFrame()
{
    // The source folder, not __FILE__: a cached build may name this file relative to wherever it was built.
    const auto path = std::filesystem::path(OLVENNAR_SOURCE_DIR) / "tests/data/portrait-astronaut.png";
    const QImage portrait(QString::fromStdString(path.string()));
    if (portrait.isNull())
        std::fprintf(stderr, "the portrait %s could not be read: no face to find\n", path.c_str());
    QImage canvas(1280, 720, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(QColor(120, 110, 100));
    if (!portrait.isNull()) {
        QPainter painter(&canvas);
        painter.drawImage(QRectF(280, 0, 720, 720), portrait);
    }
    PixelBuffer frame(1280, 720);
    for (int y = 0; y < 720; ++y)
        std::memcpy(frame.row(y), canvas.constScanLine(y), 1280 * 4);
    return frame;
}

double millisecondsPerRun(int runs, const std::function<void()>& work)
{
    work(); // warm-up (model load, allocations)
    const auto start = std::chrono::steady_clock::now();
    for (int run = 0; run < runs; ++run)
        work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / runs;
}

} // namespace

int main()
{
    cv::setNumThreads(1);
    const PixelBuffer frame = makeFrame();
    const cv::Mat colour(720, 1280, CV_8UC4, const_cast<uint8_t*>(frame.data()), frame.bytesPerRow());
    cv::Mat grey;
    const double baseline = millisecondsPerRun(200, [&] { cv::cvtColor(colour, grey, cv::COLOR_BGRA2GRAY); });

    // Every frame searched whole, then as the monitor looks: following the face between whole looks.
    double analysis[2] = {};
    int faces[2] = {};
    for (int follows = 0; follows < 2; ++follows) {
        FramingAnalyzer analyzer;
        analyzer.setFollowsFace(follows == 1);
        int found = 1;
        analysis[follows] = millisecondsPerRun(30, [&] {
            const auto result = analyzer.analyze(frame);
            found = std::min(found, result ? result->reading.faceCount : 0);
        });
        faces[follows] = found;
    }

    std::printf("greyscale 1280x720 (baseline):     %.3f ms/frame\n", baseline);
    std::printf("framing analysis, whole picture:   %.2f ms/frame (face found every time: %s)\n", analysis[0], faces[0] == 1 ? "yes" : "no");
    std::printf("framing analysis, following face:  %.2f ms/frame (face found every time: %s; goal < 25 ms)\n", analysis[1],
        faces[1] == 1 ? "yes" : "no");
    std::printf("ratio following / baseline:        %.1fx\n", analysis[1] / baseline);
    return faces[0] == 1 && faces[1] == 1 ? 0 : 1;
}
