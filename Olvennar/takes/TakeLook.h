#pragma once

#include "takedata/StudioLook.h"
#include "takedata/LayoutMode.h"
#include "takedata/ZoomMode.h"

// The look settings a screen take is finished with: the zoom plan, the pointer, the studio look and the
// export size. The controller keeps them as one group; a stop reads the group as it stands then.
struct TakeLook {
    ZoomMode zoomMode = ZoomMode::smart;
    double zoomAmount = 1.9;
    bool clickHighlight = false;
    bool ownCursor = true;
    bool cameraGrade = false;
    bool frameFocusedWindow = false;
    bool export4K = false;
    ScreenLayout screenLayout = ScreenLayout::studio;
    FaceLayout faceLayout = FaceLayout::tallLeft;
    StudioBackground studioBackground = StudioBackground::blushMesh;
    LayoutMode layoutMode = LayoutMode::dynamic;
};
