#include "app/StudioTakeKinds.h"

#include "takes/JustMeTake.h"
#include "takes/ScreenTake.h"
#include "takes/ShortFilmTake.h"
#include "takes/VoiceTake.h"

const TakeKinds& StudioTakeKinds::standard()
{
    static const TakeKinds kinds{{
        {CaptureMode::screen, {.zoomMarks = true, .overlays = true},
            [](const TakeKit& kit) { return std::make_unique<ScreenTake>(kit.host, kit.services); }},
        {CaptureMode::cameraOnly, {.cameraOnly = true},
            [](const TakeKit& kit) { return std::make_unique<JustMeTake>(kit.host, *kit.preview); }},
        {CaptureMode::short_, {.filmsShort = true, .cameraOnly = true},
            [](const TakeKit& kit) { return std::make_unique<ShortFilmTake>(kit.host, *kit.preview); }},
        {CaptureMode::voice, {.pause = false, .voiceTrack = true},
            [](const TakeKit& kit) { return std::make_unique<VoiceTake>(kit.host, kit.preview, kit.services); }},
    }};
    return kinds;
}
