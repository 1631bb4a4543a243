#include "playback/ExternalVideoContentView.h"

#include "platform/MainThread.h"

#include "playback/PatternCanvas.h"
#include "playback/VideoPlayerView.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

namespace orvelo {

ExternalVideoContentView::ExternalVideoContentView(MediaPlayer* player, bool hasVideoTrack, PatternState& patterns,
                                                   AudioAnalyzer& analyzer, QObject* parent)
    : QObject(parent), player_(player), content_(externalContentFor(player != nullptr, hasVideoTrack))
{
    if (content_ == ExternalContent::pattern) {
        pattern_ = std::make_unique<PatternCanvas>(patterns, analyzer);
    } else if (content_ == ExternalContent::video) {
        video_ = std::make_unique<VideoPlayerView>();
        video_->setPlayer(player);
        connect(video_.get(), &VideoPlayerView::pictureReady, this, &ExternalVideoContentView::needsRepaint);
    }
}

ExternalVideoContentView::~ExternalVideoContentView() = default;

void ExternalVideoContentView::refresh(QSize areaSize)
{
    assertMainThread();
    switch (content_) {
    case ExternalContent::noSignal:
        return;
    case ExternalContent::pattern:
        emit needsRepaint();
        return;
    case ExternalContent::video:
        video_->refresh(areaSize);
        return;
    }
}

void ExternalVideoContentView::paint(QPainter& painter, QRect area)
{
    switch (content_) {
    case ExternalContent::noSignal:
        paintNoSignal(painter, area);
        return;
    case ExternalContent::pattern:
        if (patternImage_.size() != area.size())
            patternImage_ = QImage(area.size(), QImage::Format_ARGB32_Premultiplied);
        if (patternImage_.isNull())
            return;
        pattern_->paint(patternImage_);
        painter.drawImage(area.topLeft(), patternImage_);
        return;
    case ExternalContent::video:
        video_->paint(painter, area);
        return;
    }
}

void ExternalVideoContentView::paintNoSignal(QPainter& painter, QRect area) const
{
    painter.fillRect(area, Qt::black);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QColor grey(128, 128, 128);
    const double unit = std::max(8.0, std::min(area.width(), area.height()) / 12.0);
    const QPointF centre = QRectF(area).center() - QPointF(0, unit * 0.6);

    // A television with a slash through it.
    const QRectF screen(centre.x() - unit, centre.y() - unit * 0.7, unit * 2, unit * 1.4);
    painter.setPen(QPen(grey, unit / 10.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(screen, unit / 8.0, unit / 8.0);
    painter.drawLine(QPointF(centre.x() - unit * 0.5, screen.bottom() + unit * 0.25),
                     QPointF(centre.x() + unit * 0.5, screen.bottom() + unit * 0.25));
    painter.drawLine(QPointF(screen.left() - unit * 0.15, screen.top() - unit * 0.15),
                     QPointF(screen.right() + unit * 0.15, screen.bottom() + unit * 0.15));

    QFont font = painter.font();
    font.setPixelSize(static_cast<int>(unit * 0.5));
    painter.setFont(font);
    painter.setPen(grey);
    const QRectF text(area.x(), screen.bottom() + unit * 0.5, area.width(), unit);
    painter.drawText(text, Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("No Signal"));
    painter.restore();
}

} // namespace orvelo
