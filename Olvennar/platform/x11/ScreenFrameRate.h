#pragma once

// The rate the screen is filmed at, and so the rate a screen take's finished movie keeps.
namespace ScreenFrameRate {

constexpr int perSecond = 60;

} // namespace ScreenFrameRate
