#include "teleprompter/PrompterChoices.h"

namespace PrompterChoices {

QString rawText(PrompterMode mode) { return mode == PrompterMode::auto_ ? QStringLiteral("auto") : QStringLiteral("follow"); }

QString title(PrompterMode mode)
{
    return mode == PrompterMode::auto_ ? QStringLiteral("Auto speed") : QStringLiteral("Follow my voice");
}

PrompterMode modeFromStored(const QString& text) { return text == u"auto" ? PrompterMode::auto_ : PrompterMode::follow; }

QString rawText(PrompterPosition position)
{
    switch (position) {
    case PrompterPosition::topCenter: return QStringLiteral("topCenter");
    case PrompterPosition::left: return QStringLiteral("left");
    case PrompterPosition::right: return QStringLiteral("right");
    case PrompterPosition::custom: return QStringLiteral("custom");
    case PrompterPosition::camera: return QStringLiteral("camera");
    }
    return {};
}

QString title(PrompterPosition position)
{
    switch (position) {
    case PrompterPosition::topCenter: return QStringLiteral("Top centre");
    case PrompterPosition::left: return QStringLiteral("Left");
    case PrompterPosition::right: return QStringLiteral("Right");
    case PrompterPosition::custom: return QStringLiteral("Free");
    case PrompterPosition::camera: return QStringLiteral("Camera spot");
    }
    return {};
}

std::optional<PrompterPosition> positionFromRawText(const QString& text)
{
    for (PrompterPosition position : allPrompterPositions)
        if (rawText(position) == text)
            return position;
    return std::nullopt;
}

QString rawText(CameraSide side)
{
    switch (side) {
    case CameraSide::under: return QStringLiteral("under");
    case CameraSide::left: return QStringLiteral("left");
    case CameraSide::right: return QStringLiteral("right");
    }
    return {};
}

QString label(CameraSide side)
{
    switch (side) {
    case CameraSide::under: return QStringLiteral("Under the camera");
    case CameraSide::left: return QStringLiteral("Left of the camera");
    case CameraSide::right: return QStringLiteral("Right of the camera");
    }
    return {};
}

std::optional<CameraSide> sideFromRawText(const QString& text)
{
    for (CameraSide side : allCameraSides)
        if (rawText(side) == text)
            return side;
    return std::nullopt;
}

} // namespace PrompterChoices
