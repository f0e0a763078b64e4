#include "platform/image/ImageBlur.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

void ImageBlur::gaussian(cv::Mat& image, double sigma, bool clampEdges)
{
    if (image.empty() || !(sigma >= 0.3))
        return;
    const int border = clampEdges ? cv::BORDER_REPLICATE : cv::BORDER_CONSTANT;
    const int factor = static_cast<int>(std::floor(sigma / 4));
    if (factor <= 1) {
        cv::GaussianBlur(image, image, cv::Size(0, 0), sigma, sigma, border);
        return;
    }
    // The area reduction and the bilinear return add about a quarter pixel² of the small picture's variance.
    const int w = std::max(1, (image.cols + factor - 1) / factor);
    const int h = std::max(1, (image.rows + factor - 1) / factor);
    const double sx = static_cast<double>(image.cols) / w;
    const double sy = static_cast<double>(image.rows) / h;
    cv::Mat small;
    cv::resize(image, small, cv::Size(w, h), 0, 0, cv::INTER_AREA);
    const double smallSigmaX = std::sqrt(std::max(sigma * sigma / (sx * sx) - 0.25, 0.25));
    const double smallSigmaY = std::sqrt(std::max(sigma * sigma / (sy * sy) - 0.25, 0.25));
    cv::GaussianBlur(small, small, cv::Size(0, 0), smallSigmaX, smallSigmaY, border);
    cv::resize(small, image, image.size(), 0, 0, cv::INTER_LINEAR);
}
