#pragma once

#include "playback/EffectParameters.h"

#include <QObject>

#include <atomic>

namespace orvelo {

// The one store of the live video-effect values. Writers (DMX, web, preview) set them on the
// main thread; the compositor and the NDI sender read them from their own threads on every
// frame without a lock, so each value is a relaxed atomic: read and written whole, no ordering
// between values. Setters never clamp: readers are built for any value.
class VideoEffectsManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(float playbackSpeed READ playbackSpeed WRITE setPlaybackSpeed NOTIFY playbackSpeedChanged)
    Q_PROPERTY(float brightness READ brightness WRITE setBrightness NOTIFY brightnessChanged)
    Q_PROPERTY(float saturation READ saturation WRITE setSaturation NOTIFY saturationChanged)
    Q_PROPERTY(float alpha READ alpha WRITE setAlpha NOTIFY alphaChanged)
    Q_PROPERTY(bool isInverted READ isInverted WRITE setIsInverted NOTIFY isInvertedChanged)
    Q_PROPERTY(bool redEnabled READ redEnabled WRITE setRedEnabled NOTIFY redEnabledChanged)
    Q_PROPERTY(bool greenEnabled READ greenEnabled WRITE setGreenEnabled NOTIFY greenEnabledChanged)
    Q_PROPERTY(bool blueEnabled READ blueEnabled WRITE setBlueEnabled NOTIFY blueEnabledChanged)
    Q_PROPERTY(int redTimeShift READ redTimeShift WRITE setRedTimeShift NOTIFY redTimeShiftChanged)
    Q_PROPERTY(int greenTimeShift READ greenTimeShift WRITE setGreenTimeShift NOTIFY greenTimeShiftChanged)
    Q_PROPERTY(int blueTimeShift READ blueTimeShift WRITE setBlueTimeShift NOTIFY blueTimeShiftChanged)
    Q_PROPERTY(double redHorizontalOffset READ redHorizontalOffset WRITE setRedHorizontalOffset NOTIFY
                   redHorizontalOffsetChanged)
    Q_PROPERTY(
        double redVerticalOffset READ redVerticalOffset WRITE setRedVerticalOffset NOTIFY redVerticalOffsetChanged)
    Q_PROPERTY(double greenHorizontalOffset READ greenHorizontalOffset WRITE setGreenHorizontalOffset NOTIFY
                   greenHorizontalOffsetChanged)
    Q_PROPERTY(double greenVerticalOffset READ greenVerticalOffset WRITE setGreenVerticalOffset NOTIFY
                   greenVerticalOffsetChanged)
    Q_PROPERTY(double blueHorizontalOffset READ blueHorizontalOffset WRITE setBlueHorizontalOffset NOTIFY
                   blueHorizontalOffsetChanged)
    Q_PROPERTY(
        double blueVerticalOffset READ blueVerticalOffset WRITE setBlueVerticalOffset NOTIFY blueVerticalOffsetChanged)

public:
    // The process-wide instance, created on first use and never destroyed.
    static VideoEffectsManager& shared();

    // Separate instances serve tests and tools; the application uses only shared().
    explicit VideoEffectsManager(QObject* parent = nullptr);

    float playbackSpeed() const { return playbackSpeed_.load(std::memory_order_relaxed); }
    float brightness() const { return brightness_.load(std::memory_order_relaxed); }
    float saturation() const { return saturation_.load(std::memory_order_relaxed); }
    float alpha() const { return alpha_.load(std::memory_order_relaxed); }
    bool isInverted() const { return isInverted_.load(std::memory_order_relaxed); }
    bool redEnabled() const { return redEnabled_.load(std::memory_order_relaxed); }
    bool greenEnabled() const { return greenEnabled_.load(std::memory_order_relaxed); }
    bool blueEnabled() const { return blueEnabled_.load(std::memory_order_relaxed); }
    int redTimeShift() const { return redTimeShift_.load(std::memory_order_relaxed); }
    int greenTimeShift() const { return greenTimeShift_.load(std::memory_order_relaxed); }
    int blueTimeShift() const { return blueTimeShift_.load(std::memory_order_relaxed); }
    double redHorizontalOffset() const { return redHorizontalOffset_.load(std::memory_order_relaxed); }
    double redVerticalOffset() const { return redVerticalOffset_.load(std::memory_order_relaxed); }
    double greenHorizontalOffset() const { return greenHorizontalOffset_.load(std::memory_order_relaxed); }
    double greenVerticalOffset() const { return greenVerticalOffset_.load(std::memory_order_relaxed); }
    double blueHorizontalOffset() const { return blueHorizontalOffset_.load(std::memory_order_relaxed); }
    double blueVerticalOffset() const { return blueVerticalOffset_.load(std::memory_order_relaxed); }

    // Every set notifies, even when the value is unchanged.
    void setPlaybackSpeed(float value);
    void setBrightness(float value);
    void setSaturation(float value);
    void setAlpha(float value);
    void setIsInverted(bool value);
    void setRedEnabled(bool value);
    void setGreenEnabled(bool value);
    void setBlueEnabled(bool value);
    void setRedTimeShift(int value);
    void setGreenTimeShift(int value);
    void setBlueTimeShift(int value);
    void setRedHorizontalOffset(double value);
    void setRedVerticalOffset(double value);
    void setGreenHorizontalOffset(double value);
    void setGreenVerticalOffset(double value);
    void setBlueHorizontalOffset(double value);
    void setBlueVerticalOffset(double value);

    // Back to the defaults, one property at a time in declaration order; each change notifies.
    void resetAll();

    // The values the compositor uses, each read once. Safe from any thread.
    EffectParameters snapshot() const;

signals:
    // Precedes every change, for views that redraw on any change; writing the value a property
    // already holds changes nothing and notifies nothing.
    void aboutToChange();
    void playbackSpeedChanged(float value);
    void brightnessChanged(float value);
    void saturationChanged(float value);
    void alphaChanged(float value);
    void isInvertedChanged(bool value);
    void redEnabledChanged(bool value);
    void greenEnabledChanged(bool value);
    void blueEnabledChanged(bool value);
    void redTimeShiftChanged(int value);
    void greenTimeShiftChanged(int value);
    void blueTimeShiftChanged(int value);
    void redHorizontalOffsetChanged(double value);
    void redVerticalOffsetChanged(double value);
    void greenHorizontalOffsetChanged(double value);
    void greenVerticalOffsetChanged(double value);
    void blueHorizontalOffsetChanged(double value);
    void blueVerticalOffsetChanged(double value);

private:
    template <typename T> bool update(std::atomic<T>& field, T value);

    std::atomic<float> playbackSpeed_{1.0f};
    std::atomic<float> brightness_{0.0f};
    std::atomic<float> saturation_{1.0f};
    std::atomic<float> alpha_{1.0f};
    std::atomic<bool> isInverted_{false};
    std::atomic<bool> redEnabled_{true};
    std::atomic<bool> greenEnabled_{true};
    std::atomic<bool> blueEnabled_{true};
    std::atomic<int> redTimeShift_{0};
    std::atomic<int> greenTimeShift_{0};
    std::atomic<int> blueTimeShift_{0};
    std::atomic<double> redHorizontalOffset_{0.0};
    std::atomic<double> redVerticalOffset_{0.0};
    std::atomic<double> greenHorizontalOffset_{0.0};
    std::atomic<double> greenVerticalOffset_{0.0};
    std::atomic<double> blueHorizontalOffset_{0.0};
    std::atomic<double> blueVerticalOffset_{0.0};
};

} // namespace orvelo
