// Synthetic scenes: the sample pictures of a fresh install and the pictures the camera "takes".
#pragma once

#include "devices/virtualcam/picture.h"

namespace kerris::virtualcam {

inline constexpr int kSceneCount = 5;

// Draws scene `which` (taken modulo kSceneCount) at w x h: 0 sunset over the sea, 1 colour
// chart, 2 meadow with a tree, 3 rings of colour, 4 harbour at night. Same arguments, same
// pixels.
Picture drawScene(int which, int width, int height);

// A short name for file names ("sunset", "colour-chart", ...).
const char* sceneName(int which);

} // namespace kerris::virtualcam
