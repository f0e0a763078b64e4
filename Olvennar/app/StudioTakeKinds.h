#pragma once

#include "takes/TakeKinds.h"

// The studio's take kinds by capture mode: the screen take, "Just me", the short and the voice take (which
// also records a short's voice track).
namespace StudioTakeKinds {

const TakeKinds& standard();

} // namespace StudioTakeKinds
