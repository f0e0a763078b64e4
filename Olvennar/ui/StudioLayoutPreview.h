#pragma once

#include "takedata/StudioLook.h"

#include <QImage>
#include <QWidget>

#include <memory>

class CameraFrameTap;
class QLabel;
class StudioLayoutPreviewRenderer;
class Spinner;

// The live export preview: a 16:9 card of the studio look with the desk camera in the face card, and a
// caption. A change of face, backdrop, grade, pause or camera switch builds a new renderer on a worker; a
// generation number drops whatever older work still comes back. While the camera is live and the preview
// is not paused, the next frame is drawn 0.2 s after the previous one finished; otherwise one frame is
// drawn and stays as a still.
//
// Threads: every field is the main thread's. A worker gets values (the key's face, backdrop and grade, a
// frame reference) and a renderer, and hands its result back through the mailbox. A renderer draws one
// frame at a time: a frame is only asked for when none of the renderer's generation is on its way.
class StudioLayoutPreview : public QWidget {
    Q_OBJECT

public:
    static constexpr int refreshMilliseconds = 200;

    explicit StudioLayoutPreview(QWidget* parent = nullptr);
    ~StudioLayoutPreview() override;

    void setFace(FaceLayout face);
    void setBackground(StudioBackground background);
    void setGrade(bool grade);
    void setPaused(bool paused);
    void setCameraLive(bool live);
    void setFrameTap(std::shared_ptr<CameraFrameTap> tap);

    // "Export preview — <where the card is>. <what the card shows>"
    static QString caption(FaceLayout face, bool cameraLive);

    const QImage& image() const { return image_; }
    QString captionText() const;
    // Frames shown and renderers built since creation (the live rhythm and the rebuilds show in these).
    int framesShown() const { return framesShown_; }
    int renderersBuilt() const { return renderersBuilt_; }
    // The picture's box inside the widget.
    QRect pictureRect() const;

    // What the preview was last handed; a change of any of these restarts its renderer.
    struct Key {
        FaceLayout face = FaceLayout::tallLeft;
        StudioBackground background = StudioBackground::blushMesh;
        bool grade = false;
        bool paused = false;
        bool cameraLive = false;
        friend bool operator==(const Key&, const Key&) = default;
    };
    const Key& key() const { return key_; }
    const std::shared_ptr<CameraFrameTap>& frameTap() const { return tap_; }

    QSize sizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    template <typename T>
    void changeField(T Key::*field, T value)
    {
        Key key = key_;
        key.*field = value;
        changeKey(key);
    }
    struct Mailbox;
    void changeKey(const Key& key);
    void restart();
    void renderNext(quint64 generation);
    void placeSpinner();

    Key key_;
    // The key the current generation was started with.
    Key activeKey_;
    std::shared_ptr<CameraFrameTap> tap_;
    // The renderer of the current generation; a worker uses it while the main thread waits.
    std::shared_ptr<StudioLayoutPreviewRenderer> renderer_;
    quint64 generation_ = 0;
    // The generation whose frame is being drawn now, 0 when none is: its renderer is busy.
    quint64 drawing_ = 0;
    bool restartPending_ = false;
    // A live preview that is not on screen stops drawing; showing it again goes on.
    bool stalled_ = false;
    QImage image_;
    int framesShown_ = 0;
    int renderersBuilt_ = 0;
    QLabel* caption_;
    Spinner* spinner_;
    // Where workers post their results; closed before the preview goes.
    std::shared_ptr<Mailbox> mailbox_;
};
