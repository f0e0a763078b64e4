#pragma once

// Whether a compositing manager owns the GUI's X screen. Without one, a window's transparent parts show
// as black: a round or shaped panel must take its outline as its window shape instead.
namespace X11Compositor {

// False when the GUI does not run on X11, or no client owns the screen's "_NET_WM_CM_S<n>" selection.
// Asked on the GUI thread; one round trip on the GUI's own connection.
bool ownsScreen();

} // namespace X11Compositor
