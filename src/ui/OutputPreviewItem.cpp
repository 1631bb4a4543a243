#include "ui/OutputPreviewItem.h"

#include "playback/IdentifyPicture.h"
#include "playback/OutputDecision.h"
#include "playback/PatternCanvas.h"
#include "playback/PlaybackEngine.h"
#include "playback/VideoOutputView.h"
#include "playback/VideoPlayerView.h"
#include "playback/ViewEffects.h"
#include "settings/SettingsManager.h"
#include "ui/OutputViewModel.h"

#include <QPainter>

namespace orvelo {

OutputPreviewItem::OutputPreviewItem(QQuickItem* parent)
    : QQuickPaintedItem(parent), video_(std::make_unique<VideoPlayerView>())
{
    setOpaquePainting(true);
    connect(video_.get(), &VideoPlayerView::pictureReady, this, [this] { update(); });
    timer_.setInterval(33);
    connect(&timer_, &QTimer::timeout, this, &OutputPreviewItem::tick);
    connect(this, &QQuickItem::visibleChanged, this, [this] {
        if (isVisible())
            timer_.start();
        else
            timer_.stop();
    });
    timer_.start();
}

OutputPreviewItem::~OutputPreviewItem() = default;

void OutputPreviewItem::setOutput(OutputViewModel* output)
{
    output_ = output;
    pattern_.reset();
    if (output_)
        pattern_ = std::make_unique<PatternCanvas>(output_->settings().patterns(), output_->analyzer());
    emit outputChanged();
    update();
}

void OutputPreviewItem::tick()
{
    if (!output_ || width() < 1 || height() < 1)
        return;
    const QSize area(static_cast<int>(width()), static_cast<int>(height()));
    if (IdentifyPicture::shared().isOn())
        update();
    switch (output_->logic().decision().preview()) {
    case OutputDecision::Preview::engineVideo:
        video_->setPlayer(output_->engine().player());
        video_->setViewEffects(ViewEffects::from(output_->effects()));
        video_->refresh(area);
        break;
    case OutputDecision::Preview::defaultVideo:
        video_->setPlayer(output_->settings().backgroundVideo().player());
        video_->setViewEffects(ViewEffects::from(output_->effects()));
        video_->refresh(area);
        break;
    case OutputDecision::Preview::pattern:
    case OutputDecision::Preview::idle:
        // Patterns move on their own, and the idle picture replaces whatever showed before.
        update();
        break;
    }
}

void OutputPreviewItem::paint(QPainter* painter)
{
    const QRect area(0, 0, static_cast<int>(width()), static_cast<int>(height()));
    painter->fillRect(area, Qt::black);
    if (!output_)
        return;
    if (const auto& identify = IdentifyPicture::shared(); identify.isOn()) {
        identify.paint(*painter, area);
        return;
    }
    switch (output_->logic().decision().preview()) {
    case OutputDecision::Preview::engineVideo:
    case OutputDecision::Preview::defaultVideo:
        video_->paint(*painter, area);
        break;
    case OutputDecision::Preview::pattern:
        if (pattern_ && !area.isEmpty()) {
            if (patternImage_.size() != area.size())
                patternImage_ = QImage(area.size(), QImage::Format_ARGB32_Premultiplied);
            pattern_->paint(patternImage_);
            painter->drawImage(area.topLeft(), patternImage_);
        }
        break;
    case OutputDecision::Preview::idle:
        painter->setPen(QColor(0x80, 0x80, 0x80));
        painter->drawText(area, Qt::AlignCenter, QStringLiteral("▶\nWaiting for playback"));
        break;
    }
}

} // namespace orvelo
