// Camera frame decoding at 1080p: YUYV and Motion-JPEG to BGRA through the capture decoder, against a plain
// copy of the same bytes (the least any capture path does) measured in the same run. A camera keeps real time
// when the decoder's rate stays well above 60 frames per second.
#include "platform/video/V4l2FrameDecoder.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int width = 1920;
constexpr int height = 1080;
constexpr int rounds = 120;

template <typename Work>
double framesPerSecond(Work&& work)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i)
        work();
    const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    return rounds / spent.count();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::vector<uint8_t> yuyv(static_cast<size_t>(width) * height * 2);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width * 2; ++x)
            yuyv[static_cast<size_t>(y) * width * 2 + x] = static_cast<uint8_t>((x * 7 + y * 3) & 0xff);

    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, qRgb(x & 0xff, y & 0xff, (x ^ y) & 0xff));
    QByteArray jpeg;
    QBuffer sink(&jpeg);
    sink.open(QIODevice::WriteOnly);
    picture.save(&sink, "JPEG", 85);

    std::vector<uint8_t> copy(static_cast<size_t>(width) * height * 4);
    const double copyRate = framesPerSecond([&] {
        std::memcpy(copy.data(), yuyv.data(), yuyv.size());
        std::memcpy(copy.data() + yuyv.size(), yuyv.data(), copy.size() - yuyv.size());
    });

    V4l2FrameDecoder decoder;
    const double yuyvRate = framesPerSecond([&] { decoder.decode(CameraHub::PixelFormat::yuyv, yuyv.data(), yuyv.size(), width, height); });
    const double jpegRate = framesPerSecond([&] {
        decoder.decode(CameraHub::PixelFormat::mjpeg, reinterpret_cast<const uint8_t*>(jpeg.constData()), jpeg.size(), width, height);
    });

    std::printf("baseline copy of a 1080p BGRA frame: %.0f fps\n", copyRate);
    std::printf("YUYV -> BGRA:  %.0f fps, %.3f of the copy, %.1fx the 60 fps budget\n", yuyvRate, yuyvRate / copyRate, yuyvRate / 60);
    std::printf("MJPEG -> BGRA: %.0f fps, %.3f of the copy, %.1fx the 60 fps budget\n", jpegRate, jpegRate / copyRate, jpegRate / 60);
    return 0;
}
