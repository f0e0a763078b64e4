#include "teleprompter/PrompterMenus.h"

#include "teleprompter/TeleprompterModel.h"

#include <array>
#include <cmath>

namespace PrompterMenus {

namespace {

constexpr std::array<double, 5> opacities{1.0, 0.75, 0.55, 0.35, 0.2};

QString marked(const QString& title, bool current) { return current ? checkMark + title : title; }

} // namespace

QString opacityTitle(double value)
{
    return QStringLiteral("Background %1%").arg(static_cast<int>(std::floor(value * 100 + 1e-9)));
}

std::vector<Entry> modeEntries(TeleprompterModel& model)
{
    std::vector<Entry> entries;
    for (PrompterMode mode : allPrompterModes)
        entries.push_back({marked(PrompterChoices::title(mode), model.mode() == mode), [&model, mode] { model.setMode(mode); }});
    entries.push_back({});
    entries.push_back({marked(QStringLiteral("Cream page (like Korvath)"), model.theme() == u"light"),
        [&model] { model.setTheme(QStringLiteral("light")); }});
    entries.push_back({marked(QStringLiteral("Dark page"), model.theme() == u"dark"), [&model] { model.setTheme(QStringLiteral("dark")); }});
    entries.push_back({});
    for (double value : opacities)
        entries.push_back({marked(opacityTitle(value), std::abs(model.bgOpacity() - value) < opacityTolerance),
            [&model, value] { model.setBgOpacity(value); }});
    return entries;
}

std::vector<Entry> positionEntries(TeleprompterModel& model)
{
    std::vector<Entry> entries;
    const std::array<std::pair<PrompterPosition, QString>, 4> places{{
        {PrompterPosition::topCenter, QStringLiteral("Top centre, under the camera")},
        {PrompterPosition::left, QStringLiteral("Left of the camera")},
        {PrompterPosition::right, QStringLiteral("Right of the camera")},
        {PrompterPosition::custom, QStringLiteral("Free (where I put it)")},
    }};
    for (const auto& [position, title] : places)
        entries.push_back({marked(title, model.position() == position), [&model, position = position] { model.setPosition(position); }});
    entries.push_back({});
    for (CameraSide side : allCameraSides) {
        const bool current = model.position() == PrompterPosition::camera && model.cameraSide() == side;
        entries.push_back({marked(PrompterChoices::label(side) + QStringLiteral(" (my spot)"), current), [&model, side] {
                               model.setCameraSide(side);
                               model.setPosition(PrompterPosition::camera);
                           }});
    }
    entries.push_back({QStringLiteral("Set camera spot…"), [&model] {
                           if (model.beginCameraSpot)
                               model.beginCameraSpot();
                       }});
    return entries;
}

QString modeLabel(const TeleprompterModel& model) { return model.mode() == PrompterMode::follow ? QStringLiteral("Follow") : QStringLiteral("Auto"); }

QString positionLabel(const TeleprompterModel& model) { return PrompterChoices::title(model.position()); }

QString modeSymbol(const TeleprompterModel& model) { return model.mode() == PrompterMode::follow ? QStringLiteral("∿") : QStringLiteral("↓"); }

QString positionSymbol(const TeleprompterModel& model)
{
    switch (model.position()) {
    case PrompterPosition::topCenter: return QStringLiteral("▣"); // a rectangle with its centre filled
    case PrompterPosition::left: return QStringLiteral("◧");      // its left half filled
    case PrompterPosition::right: return QStringLiteral("◨");     // its right half filled
    case PrompterPosition::custom: return QStringLiteral("✥");    // arrows up, down, left and right
    case PrompterPosition::camera: return QStringLiteral("◎");    // a viewfinder
    }
    return {};
}

} // namespace PrompterMenus
