#include "plans/MixdownRequest.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

Mixdown::Request plainCopy()
{
    Mixdown::Request request;
    request.rawURL = QStringLiteral("/takes/raw.mov");
    return request;
}

TEST(MixdownRequestTest, AnythingToDrawSendsItToTheOverlayExport)
{
    const std::vector<std::pair<const char*, std::function<void(Mixdown::Request&)>>> drawing = {
        {"camera", [](auto& r) { r.cameraURL = QStringLiteral("/takes/face.mov"); }},
        {"phone", [](auto& r) { r.phoneURL = QStringLiteral("/takes/iphone.mov"); }},
        {"zoom", [](auto& r) { r.zoom.segments.push_back({}); }},
        {"click rings", [](auto& r) { r.clicks = {{1, 0.5, 0.5}}; r.showClickHighlight = true; }},
        {"studio look", [](auto& r) { r.layout = ScreenLayout::studio; }},
        {"pointer", [](auto& r) { r.pointer = PointerPath{}; }},
        {"range", [](auto& r) { r.exportRange = Mixdown::Request::TimeRange{MediaTime(0, 1), MediaTime(5, 1)}; }},
    };
    for (const auto& [name, change] : drawing) {
        Mixdown::Request request = plainCopy();
        change(request);
        EXPECT_FALSE(request.isPassthrough()) << name;
    }
}

TEST(MixdownRequestTest, SettingsThatDrawNothingStillCopy)
{
    const std::vector<std::pair<const char*, std::function<void(Mixdown::Request&)>>> ignored = {
        {"nothing at all", [](auto&) {}},
        {"clicks without rings", [](auto& r) { r.clicks = {{1, 0.5, 0.5}}; }},
        {"output size", [](auto& r) { r.outputSize = QSizeF(3840, 2160); }},
        {"focus", [](auto& r) { r.focus = FocusPath({{0, 0.1, 0.1, 0.5, 0.5}}); }},
        {"face layout", [](auto& r) { r.faceLayout = FaceLayout::bottomRight; }},
        {"background", [](auto& r) { r.background = StudioBackground::darkRoom; }},
        {"grade", [](auto& r) { r.cameraGrade = true; }},
    };
    for (const auto& [name, change] : ignored) {
        Mixdown::Request request = plainCopy();
        change(request);
        EXPECT_TRUE(request.isPassthrough()) << name;
    }
}

TEST(MixdownRequestTest, ErrorSentences)
{
    // The reader's, the run's and the missing video's sentences are pinned by the export tests.
    using E = Mixdown::MixdownError;
    EXPECT_EQ((E{E::Kind::writerRefused, QStringLiteral("x")}).description(), QStringLiteral("Could not write the finished file: x"));
}

} // namespace
