#pragma once

#include "compositing/StudioRenderer.h"

#include <opencv2/core/mat.hpp>

// Working pictures reused from frame to frame, so a frame allocates nothing once sizes settle.
struct StudioRenderer::Scratch {
    cv::Mat screen;
    cv::Mat layer;
    cv::Mat sprite;
    cv::Mat card;
    cv::Mat cardLayer;
    cv::Mat camera;
};
