#pragma once

#include "ui/OutputViewModel.h"

#include <QImage>
#include <QPointer>
#include <QQuickPaintedItem>
#include <QTimer>

#include <memory>

namespace orvelo {

class PatternCanvas;
class VideoPlayerView;

// The output panel's monitor: on black, the track's video or the background video (with the
// preview's view effects), else the selected pattern, else an idle placeholder, as the output
// logic decides. Repaints at the display rate while visible.
class OutputPreviewItem : public QQuickPaintedItem {
    Q_OBJECT
    Q_PROPERTY(orvelo::OutputViewModel* output READ output WRITE setOutput NOTIFY outputChanged)
public:
    explicit OutputPreviewItem(QQuickItem* parent = nullptr);
    ~OutputPreviewItem() override;

    OutputViewModel* output() const { return output_; }
    void setOutput(OutputViewModel* output);

    void paint(QPainter* painter) override;

signals:
    void outputChanged();

private:
    void tick();

    QPointer<OutputViewModel> output_;
    std::unique_ptr<VideoPlayerView> video_;
    std::unique_ptr<PatternCanvas> pattern_;
    QImage patternImage_;
    QTimer timer_;
};

} // namespace orvelo
