#include "playback/VideoEffectsManager.h"

#include "platform/MainThread.h"

#include <QCoreApplication>

namespace orvelo {

VideoEffectsManager& VideoEffectsManager::shared()
{
    static VideoEffectsManager* const instance = [] {
        auto* manager = new VideoEffectsManager();
        // A compositor thread may be the first user; signals and queued calls belong on the
        // main thread all the same.
        if (auto* app = QCoreApplication::instance(); app && manager->thread() != app->thread())
            manager->moveToThread(app->thread());
        return manager;
    }();
    return *instance;
}

VideoEffectsManager::VideoEffectsManager(QObject* parent) : QObject(parent)
{
}

void VideoEffectsManager::setPlaybackSpeed(float value)
{
    assertMainThread();
    emit aboutToChange();
    playbackSpeed_.store(value, std::memory_order_relaxed);
    emit playbackSpeedChanged(value);
}

void VideoEffectsManager::setBrightness(float value)
{
    assertMainThread();
    emit aboutToChange();
    brightness_.store(value, std::memory_order_relaxed);
    emit brightnessChanged(value);
}

void VideoEffectsManager::setSaturation(float value)
{
    assertMainThread();
    emit aboutToChange();
    saturation_.store(value, std::memory_order_relaxed);
    emit saturationChanged(value);
}

void VideoEffectsManager::setAlpha(float value)
{
    assertMainThread();
    emit aboutToChange();
    alpha_.store(value, std::memory_order_relaxed);
    emit alphaChanged(value);
}

void VideoEffectsManager::setIsInverted(bool value)
{
    assertMainThread();
    emit aboutToChange();
    isInverted_.store(value, std::memory_order_relaxed);
    emit isInvertedChanged(value);
}

void VideoEffectsManager::setRedEnabled(bool value)
{
    assertMainThread();
    emit aboutToChange();
    redEnabled_.store(value, std::memory_order_relaxed);
    emit redEnabledChanged(value);
}

void VideoEffectsManager::setGreenEnabled(bool value)
{
    assertMainThread();
    emit aboutToChange();
    greenEnabled_.store(value, std::memory_order_relaxed);
    emit greenEnabledChanged(value);
}

void VideoEffectsManager::setBlueEnabled(bool value)
{
    assertMainThread();
    emit aboutToChange();
    blueEnabled_.store(value, std::memory_order_relaxed);
    emit blueEnabledChanged(value);
}

void VideoEffectsManager::setRedTimeShift(int value)
{
    assertMainThread();
    emit aboutToChange();
    redTimeShift_.store(value, std::memory_order_relaxed);
    emit redTimeShiftChanged(value);
}

void VideoEffectsManager::setGreenTimeShift(int value)
{
    assertMainThread();
    emit aboutToChange();
    greenTimeShift_.store(value, std::memory_order_relaxed);
    emit greenTimeShiftChanged(value);
}

void VideoEffectsManager::setBlueTimeShift(int value)
{
    assertMainThread();
    emit aboutToChange();
    blueTimeShift_.store(value, std::memory_order_relaxed);
    emit blueTimeShiftChanged(value);
}

void VideoEffectsManager::setRedHorizontalOffset(double value)
{
    assertMainThread();
    emit aboutToChange();
    redHorizontalOffset_.store(value, std::memory_order_relaxed);
    emit redHorizontalOffsetChanged(value);
}

void VideoEffectsManager::setRedVerticalOffset(double value)
{
    assertMainThread();
    emit aboutToChange();
    redVerticalOffset_.store(value, std::memory_order_relaxed);
    emit redVerticalOffsetChanged(value);
}

void VideoEffectsManager::setGreenHorizontalOffset(double value)
{
    assertMainThread();
    emit aboutToChange();
    greenHorizontalOffset_.store(value, std::memory_order_relaxed);
    emit greenHorizontalOffsetChanged(value);
}

void VideoEffectsManager::setGreenVerticalOffset(double value)
{
    assertMainThread();
    emit aboutToChange();
    greenVerticalOffset_.store(value, std::memory_order_relaxed);
    emit greenVerticalOffsetChanged(value);
}

void VideoEffectsManager::setBlueHorizontalOffset(double value)
{
    assertMainThread();
    emit aboutToChange();
    blueHorizontalOffset_.store(value, std::memory_order_relaxed);
    emit blueHorizontalOffsetChanged(value);
}

void VideoEffectsManager::setBlueVerticalOffset(double value)
{
    assertMainThread();
    emit aboutToChange();
    blueVerticalOffset_.store(value, std::memory_order_relaxed);
    emit blueVerticalOffsetChanged(value);
}

void VideoEffectsManager::resetAll()
{
    assertMainThread();
    setPlaybackSpeed(1.0f);
    setBrightness(0.0f);
    setSaturation(1.0f);
    setAlpha(1.0f);
    setIsInverted(false);
    setRedEnabled(true);
    setGreenEnabled(true);
    setBlueEnabled(true);
    setRedTimeShift(0);
    setGreenTimeShift(0);
    setBlueTimeShift(0);
    setRedHorizontalOffset(0.0);
    setRedVerticalOffset(0.0);
    setGreenHorizontalOffset(0.0);
    setGreenVerticalOffset(0.0);
    setBlueHorizontalOffset(0.0);
    setBlueVerticalOffset(0.0);
}

EffectParameters VideoEffectsManager::snapshot() const
{
    EffectParameters p;
    p.brightness = brightness();
    p.saturation = saturation();
    p.isInverted = isInverted();
    p.enabled = {redEnabled(), greenEnabled(), blueEnabled()};
    p.timeShift = {redTimeShift(), greenTimeShift(), blueTimeShift()};
    p.horizontalOffset = {redHorizontalOffset(), greenHorizontalOffset(), blueHorizontalOffset()};
    p.verticalOffset = {redVerticalOffset(), greenVerticalOffset(), blueVerticalOffset()};
    return p;
}

} // namespace orvelo
