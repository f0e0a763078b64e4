#pragma once

#include "compositing/StudioRenderer.h"

#include <QSize>

#include <opencv2/core/mat.hpp>

#include <algorithm>

// Working pictures reused from frame to frame. Stores only grow, and each use takes a view of the size it
// needs, so sizes that change every frame (morphs, zooms) allocate nothing once the largest was seen.
struct StudioRenderer::Scratch {
    cv::Mat screen;
    cv::Mat layer;
    cv::Mat sprite;
    cv::Mat card;
    cv::Mat cardLayer;
    cv::Mat camera;
    cv::Mat cardView; // the covered card picture of the current frame, a view into `card`
    cv::Mat screenPlanes[3]; // the screen's edges resampled plane by plane
    cv::Mat cardPlanes[3]; // the card picture in planes (luma of its area, chroma of its blocks)
    cv::Mat cameraPlanes[3]; // camera planes graded before they are enlarged
    cv::Mat cardChroma[2]; // an enlarged card's chroma, spread over its blocks and enlarged at full size
    PlanarImage fade; // a faded card's frame drawn unfaded first

    static cv::Mat area(cv::Mat& store, QSize size, int type = CV_8UC4)
    {
        const int rows = std::max(size.height(), 0), cols = std::max(size.width(), 0);
        if (store.type() != type)
            store.release();
        if (store.rows < rows || store.cols < cols)
            store.create(std::max(store.rows, rows), std::max(store.cols, cols), type);
        return store(cv::Rect(0, 0, cols, rows));
    }
};
