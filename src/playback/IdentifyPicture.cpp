#include "playback/IdentifyPicture.h"

#include "platform/MainThread.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace orvelo {

namespace {

constexpr qint64 phaseMs = 250;

// The largest pixel size, up to `preferred`, at which `text` fits `width`.
int fittingPixelSize(QFont font, const QString& text, int preferred, int width)
{
    font.setPixelSize(std::max(1, preferred));
    const int advance = QFontMetrics(font).horizontalAdvance(text);
    if (advance <= width || advance == 0)
        return std::max(1, preferred);
    return std::max(1, static_cast<int>(static_cast<qint64>(preferred) * width / advance));
}

} // namespace

IdentifyPicture& IdentifyPicture::shared()
{
    static IdentifyPicture* const instance = [] {
        auto* picture = new IdentifyPicture();
        if (auto* app = QCoreApplication::instance(); app && picture->thread() != app->thread())
            picture->moveToThread(app->thread());
        return picture;
    }();
    return *instance;
}

IdentifyPicture::IdentifyPicture(QObject* parent) : QObject(parent)
{
}

void IdentifyPicture::setOn(bool on)
{
    assertMainThread();
    if (on == on_)
        return;
    on_ = on;
    since_.start();
    emit changed();
}

void IdentifyPicture::setText(const QString& name, const QString& address)
{
    assertMainThread();
    if (name == name_ && address == address_)
        return;
    name_ = name;
    address_ = address;
    emit changed();
}

bool IdentifyPicture::isLightAt(qint64 elapsedMs)
{
    return (elapsedMs / phaseMs) % 2 == 0;
}

void IdentifyPicture::paint(QPainter& painter, QRect area) const
{
    paint(painter, area, isLightAt(since_.isValid() ? since_.elapsed() : 0));
}

void IdentifyPicture::paint(QPainter& painter, QRect area, bool light) const
{
    painter.fillRect(area, light ? Qt::white : Qt::black);
    if (area.width() < 2 || area.height() < 2)
        return;
    painter.save();
    painter.setPen(light ? Qt::black : Qt::white);
    // The name fills at most a fifth of the height, the address a tenth, both within 90 % of
    // the width, one above the other around the middle.
    const int width = area.width() * 9 / 10;
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(fittingPixelSize(font, name_, area.height() / 5, width));
    painter.setFont(font);
    const QRect upper(area.left(), area.top(), area.width(), area.height() / 2);
    painter.drawText(upper, Qt::AlignHCenter | Qt::AlignBottom, name_);
    font.setBold(false);
    font.setPixelSize(fittingPixelSize(font, address_, area.height() / 10, width));
    painter.setFont(font);
    const QRect lower(area.left(), area.top() + area.height() / 2 + area.height() / 20, area.width(),
                      area.height() - area.height() / 2 - area.height() / 20);
    painter.drawText(lower, Qt::AlignHCenter | Qt::AlignTop, address_);
    painter.restore();
}

} // namespace orvelo
