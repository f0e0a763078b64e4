#include "ui/StudioLayoutPreview.h"

#include "compositing/StudioLayoutPreviewRenderer.h"
#include "platform/system/WorkerPool.h"
#include "takedata/CameraFrameTap.h"
#include "ui/Spinner.h"
#include "ui/WindowStyle.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QVBoxLayout>

#include <mutex>

namespace {
constexpr int captionGap = 6;
constexpr double cornerRadius = 8;
} // namespace

// The preview's address for work finishing on the pool. A worker posts under the lock, and the preview
// closes the box under the same lock before it goes, so no result is ever posted to a preview being
// destroyed (a QPointer read on a worker would race with that destruction).
struct StudioLayoutPreview::Mailbox {
    std::mutex lock;
    QObject* receiver;

    explicit Mailbox(QObject* owner) : receiver(owner) {}

    void close()
    {
        std::lock_guard guard(lock);
        receiver = nullptr;
    }

    // Runs `work` on the previews pool and hands its result to `done` on the receiver's thread.
    template <typename Work, typename Done>
    static void runThen(const std::shared_ptr<Mailbox>& box, Work work, Done done)
    {
        WorkerPool::previews().start([box, work = std::move(work), done = std::move(done)]() mutable {
            auto result = work();
            std::lock_guard guard(box->lock);
            if (!box->receiver)
                return;
            QMetaObject::invokeMethod(
                box->receiver, [done = std::move(done), result = std::move(result)]() mutable { done(std::move(result)); },
                Qt::QueuedConnection);
        });
    }
};

StudioLayoutPreview::StudioLayoutPreview(QWidget* parent)
    : QWidget(parent)
    , caption_(new QLabel(this))
    , spinner_(new Spinner(16, this))
    , mailbox_(std::make_shared<Mailbox>(this))
{
    setObjectName(QStringLiteral("studioLayoutPreview"));
    caption_->setObjectName(QStringLiteral("previewCaption"));
    caption_->setFont(WindowStyle::font(11));
    caption_->setWordWrap(true);
    WindowStyle::setTone(caption_, WindowStyle::Tone::secondary);
    caption_->setText(caption(key_.face, key_.cameraLive));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    restart();
}

StudioLayoutPreview::~StudioLayoutPreview() { mailbox_->close(); }

QString StudioLayoutPreview::caption(FaceLayout face, bool cameraLive)
{
    return QStringLiteral("Export preview — ") + (face == FaceLayout::tallLeft ? QStringLiteral("tall card on the left") : QStringLiteral("card bottom-right"))
        + QStringLiteral(". ")
        + (cameraLive ? QStringLiteral("That is your camera, cropped exactly as the video will be.")
                      : QStringLiteral("Turn on the camera bubble to see yourself in the card."));
}

QString StudioLayoutPreview::captionText() const { return caption_->text(); }

void StudioLayoutPreview::setFace(FaceLayout face) { changeField(&Key::face, face); }
void StudioLayoutPreview::setBackground(StudioBackground background) { changeField(&Key::background, background); }
void StudioLayoutPreview::setGrade(bool grade) { changeField(&Key::grade, grade); }
void StudioLayoutPreview::setPaused(bool paused) { changeField(&Key::paused, paused); }
void StudioLayoutPreview::setCameraLive(bool live) { changeField(&Key::cameraLive, live); }

void StudioLayoutPreview::setFrameTap(std::shared_ptr<CameraFrameTap> tap) { tap_ = std::move(tap); }

void StudioLayoutPreview::changeKey(const Key& key)
{
    if (key == key_)
        return;
    key_ = key;
    caption_->setText(caption(key_.face, key_.cameraLive));
    // Several setters run in one sync: start once for all of them.
    if (restartPending_)
        return;
    restartPending_ = true;
    QTimer::singleShot(0, this, [this] {
        restartPending_ = false;
        // Set back to what the running work already shows: nothing to redo.
        if (key_ != activeKey_)
            restart();
    });
}

void StudioLayoutPreview::restart()
{
    restartPending_ = false;
    // The new generation runs a chain of its own; a stop of an older one is not its stop.
    stalled_ = false;
    activeKey_ = key_;
    const quint64 generation = ++generation_;
    renderer_.reset();
    // The old picture stays until the new renderer's first frame arrives.
    const Key key = key_;
    Mailbox::runThen(
        mailbox_, [key] { return std::make_shared<StudioLayoutPreviewRenderer>(key.face, key.background); },
        [this, generation](std::shared_ptr<StudioLayoutPreviewRenderer> renderer) {
            if (generation != generation_)
                return;
            renderer_ = std::move(renderer);
            ++renderersBuilt_;
            renderNext(generation);
        });
}

void StudioLayoutPreview::renderNext(quint64 generation)
{
    // A frame already on its way asks for the next one itself when it arrives.
    if (generation != generation_ || !renderer_ || drawing_ == generation)
        return;
    drawing_ = generation;
    // Only the frame reference is taken from the tap; a tap without a frame yet draws the stand-in.
    std::shared_ptr<const PixelBuffer> camera = key_.cameraLive && tap_ ? tap_->newest() : nullptr;
    const bool grade = key_.grade;
    std::shared_ptr<StudioLayoutPreviewRenderer> renderer = renderer_;
    Mailbox::runThen(
        mailbox_, [renderer, camera, grade] { return renderer->render(camera.get(), grade); },
        [this, generation](QImage frame) {
            if (drawing_ == generation)
                drawing_ = 0;
            if (generation != generation_)
                return;
            image_ = std::move(frame);
            ++framesShown_;
            spinner_->setVisible(image_.isNull());
            update();
            if (key_.paused || !key_.cameraLive)
                return;
            QTimer::singleShot(refreshMilliseconds, this, [this, generation] {
                if (generation != generation_)
                    return;
                if (!isVisible()) {
                    stalled_ = true;
                    return;
                }
                renderNext(generation);
            });
        });
}

QRect StudioLayoutPreview::pictureRect() const { return {0, 0, width(), width() * 9 / 16}; }

int StudioLayoutPreview::heightForWidth(int width) const
{
    return width * 9 / 16 + captionGap + caption_->heightForWidth(width);
}

QSize StudioLayoutPreview::sizeHint() const { return {360, heightForWidth(360)}; }

void StudioLayoutPreview::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (stalled_) {
        stalled_ = false;
        renderNext(generation_);
    }
}

void StudioLayoutPreview::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const QRect picture = pictureRect();
    caption_->setGeometry(0, picture.bottom() + 1 + captionGap, width(), caption_->heightForWidth(width()));
    placeSpinner();
}

void StudioLayoutPreview::placeSpinner()
{
    const QRect picture = pictureRect();
    spinner_->move(picture.center() - QPoint(spinner_->width() / 2, spinner_->height() / 2));
    spinner_->setVisible(image_.isNull());
}

void StudioLayoutPreview::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF picture = pictureRect();
    QPainterPath outline;
    outline.addRoundedRect(picture.adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
    painter.fillPath(outline, QColor(0, 0, 0, 20));
    if (!image_.isNull()) {
        painter.save();
        painter.setClipPath(outline);
        painter.drawImage(picture, image_);
        painter.restore();
    }
    QColor line = palette().color(QPalette::WindowText);
    line.setAlphaF(0.12);
    painter.setPen(QPen(line, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(outline);
}
