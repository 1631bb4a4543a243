#include "playback/FullscreenWindow.h"

#include "playback/ExternalVideoContentView.h"
#include "playback/IdentifyPicture.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace orvelo {

FullscreenWindow::FullscreenWindow(std::unique_ptr<ExternalVideoContentView> content, QScreen* screen)
    : content_(std::move(content))
{
    setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setScreen(screen);
    setGeometry(screen->geometry());

    // One refresh per display frame: a pattern is drawn anew each time, video when its next
    // picture is ready.
    const double rate = screen->refreshRate() > 1.0 ? screen->refreshRate() : 60.0;
    refresh_.setTimerType(Qt::PreciseTimer);
    refresh_.setInterval(std::max(1, static_cast<int>(std::lround(1000.0 / rate))));
    connect(&refresh_, &QTimer::timeout, this, [this] {
        if (content_)
            content_->refresh(size());
        // The identify picture flashes on its own clock.
        if (IdentifyPicture::shared().isOn())
            update();
    });
    connect(content_.get(), &ExternalVideoContentView::needsRepaint, this, [this] { update(); });
    connect(&IdentifyPicture::shared(), &IdentifyPicture::changed, this, [this] { update(); });
    refresh_.start();
}

FullscreenWindow::~FullscreenWindow() = default;

void FullscreenWindow::removeContent()
{
    refresh_.stop();
    content_.reset();
    update();
}

void FullscreenWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect area(QPoint(0, 0), size());
    if (const auto& identify = IdentifyPicture::shared(); identify.isOn())
        identify.paint(painter, area);
    else if (content_)
        content_->paint(painter, area);
    else
        painter.fillRect(area, Qt::black);
}

void FullscreenWindow::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
    emit doubleClicked();
}

} // namespace orvelo
