// Protects the live effect store: its defaults, the reset order, notification on every write,
// values kept as written, and the snapshot the compositor reads.

#include "playback/VideoEffectsManager.h"

#include <QCoreApplication>
#include <QMetaProperty>
#include <QObject>
#include <QThread>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace orvelo;

namespace {

// Records which property notified, in order, and where the object-level notice fell.
class NotificationRecorder : public QObject {
    Q_OBJECT
public:
    explicit NotificationRecorder(VideoEffectsManager& effects)
    {
        const QMetaObject* meta = effects.metaObject();
        const QMetaMethod record = metaObject()->method(metaObject()->indexOfSlot("record()"));
        for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
            QObject::connect(&effects, meta->property(i).notifySignal(), this, record);
        QObject::connect(&effects, &VideoEffectsManager::aboutToChange, this,
                         [this] { events.emplace_back("aboutToChange"); });
    }

    std::vector<std::string> events;

    std::vector<std::string> changes() const
    {
        std::vector<std::string> out;
        for (const auto& e : events)
            if (e != "aboutToChange")
                out.push_back(e);
        return out;
    }

public slots:
    void record()
    {
        const QMetaMethod signal = sender()->metaObject()->method(senderSignalIndex());
        std::string name = signal.name().toStdString();
        events.push_back(name.substr(0, name.size() - std::string("Changed").size()));
    }
};

std::vector<std::string> declarationOrder()
{
    std::vector<std::string> names;
    const QMetaObject& meta = VideoEffectsManager::staticMetaObject;
    for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i)
        names.emplace_back(meta.property(i).name());
    return names;
}

TEST(VideoEffectsManagerTest, StartsAtTheDefaults)
{
    VideoEffectsManager effects;
    EXPECT_EQ(effects.playbackSpeed(), 1.0f);
    EXPECT_EQ(effects.brightness(), 0.0f);
    EXPECT_EQ(effects.saturation(), 1.0f);
    EXPECT_EQ(effects.alpha(), 1.0f);
    EXPECT_FALSE(effects.isInverted());
    EXPECT_TRUE(effects.redEnabled() && effects.greenEnabled() && effects.blueEnabled());
    EXPECT_EQ(effects.redTimeShift() + effects.greenTimeShift() + effects.blueTimeShift(), 0);
    for (double offset : {effects.redHorizontalOffset(), effects.redVerticalOffset(), effects.greenHorizontalOffset(),
                          effects.greenVerticalOffset(), effects.blueHorizontalOffset(), effects.blueVerticalOffset()})
        EXPECT_EQ(offset, 0.0);
    EXPECT_TRUE(effects.snapshot().isNeutral());
    EXPECT_EQ(declarationOrder().size(), 17u);
}

TEST(VideoEffectsManagerTest, ResetWritesEveryDefaultBackInDeclarationOrderEachNotifying)
{
    VideoEffectsManager effects;
    effects.setPlaybackSpeed(2.0f);
    effects.setBrightness(-0.5f);
    effects.setSaturation(0.0f);
    effects.setAlpha(0.2f);
    effects.setIsInverted(true);
    effects.setGreenEnabled(false);
    effects.setBlueTimeShift(25);
    effects.setRedVerticalOffset(-50.0);
    effects.setBlueHorizontalOffset(50.41);

    NotificationRecorder recorder(effects);
    effects.resetAll();
    EXPECT_EQ(recorder.changes(), declarationOrder());
    ASSERT_EQ(recorder.events.size(), 34u);
    for (std::size_t i = 0; i < recorder.events.size(); i += 2)
        EXPECT_EQ(recorder.events[i], "aboutToChange") << "event " << i;

    VideoEffectsManager fresh;
    const QMetaObject& meta = VideoEffectsManager::staticMetaObject;
    for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i)
        EXPECT_EQ(meta.property(i).read(&effects), meta.property(i).read(&fresh)) << meta.property(i).name();
    EXPECT_TRUE(effects.snapshot().isNeutral());
}

TEST(VideoEffectsManagerTest, EveryWriteNotifiesEvenWithTheSameValue)
{
    VideoEffectsManager effects;
    std::vector<float> seen;
    QObject::connect(&effects, &VideoEffectsManager::playbackSpeedChanged, [&](float v) { seen.push_back(v); });
    effects.setPlaybackSpeed(1.0f);
    effects.setPlaybackSpeed(1.0f);
    effects.setPlaybackSpeed(1.5f);
    EXPECT_EQ(seen, (std::vector<float>{1.0f, 1.0f, 1.5f}));

    NotificationRecorder recorder(effects);
    effects.setRedEnabled(true);
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"aboutToChange", "redEnabled"}));
}

TEST(VideoEffectsManagerTest, TheNoticeBeforeAChangeStillSeesTheOldValue)
{
    VideoEffectsManager effects;
    effects.setBrightness(0.25f);
    float before = 0.0f;
    QObject::connect(&effects, &VideoEffectsManager::aboutToChange, [&] { before = effects.brightness(); });
    effects.setBrightness(0.75f);
    EXPECT_EQ(before, 0.25f);
    EXPECT_EQ(effects.brightness(), 0.75f);
}

TEST(VideoEffectsManagerTest, ValuesOutsideTheUsualRangesAreKeptAsWritten)
{
    VideoEffectsManager effects;
    effects.setBrightness(5.0f);
    effects.setSaturation(-3.0f);
    effects.setPlaybackSpeed(10.0f);
    effects.setGreenTimeShift(-7);
    effects.setRedTimeShift(1000);
    effects.setBlueVerticalOffset(1.0e6);
    EXPECT_EQ(effects.brightness(), 5.0f);
    EXPECT_EQ(effects.saturation(), -3.0f);
    EXPECT_EQ(effects.playbackSpeed(), 10.0f);
    EXPECT_EQ(effects.greenTimeShift(), -7);
    EXPECT_EQ(effects.redTimeShift(), 1000);
    EXPECT_EQ(effects.blueVerticalOffset(), 1.0e6);
}

TEST(VideoEffectsManagerTest, SnapshotCarriesTheCompositorValuesPerChannel)
{
    VideoEffectsManager effects;
    effects.setRedTimeShift(1);
    effects.setGreenTimeShift(2);
    effects.setBlueTimeShift(3);
    effects.setRedHorizontalOffset(-1.5);
    effects.setGreenVerticalOffset(2.5);
    effects.setBlueEnabled(false);
    const EffectParameters p = effects.snapshot();
    EXPECT_EQ(p.timeShift, (std::array<int, 3>{1, 2, 3}));
    EXPECT_EQ(p.horizontalOffset, (std::array<double, 3>{-1.5, 0.0, 0.0}));
    EXPECT_EQ(p.verticalOffset, (std::array<double, 3>{0.0, 2.5, 0.0}));
    EXPECT_EQ(p.enabled, (std::array<bool, 3>{true, true, false}));
}

TEST(VideoEffectsManagerTest, SpeedAndPreviewOpacityAreNotEffectsOnTheFrames)
{
    VideoEffectsManager effects;
    effects.setPlaybackSpeed(0.5f);
    effects.setAlpha(0.0f);
    EXPECT_TRUE(effects.snapshot().isNeutral());
    effects.setBrightness(0.0001f);
    EXPECT_FALSE(effects.snapshot().isNeutral());
}

TEST(VideoEffectsManagerTest, SharedInstanceIsOneAndLivesOnTheMainThread)
{
    VideoEffectsManager* fromThread = nullptr;
    QThread* thread = QThread::create([&] { fromThread = &VideoEffectsManager::shared(); });
    thread->start();
    thread->wait();
    delete thread;
    EXPECT_EQ(fromThread, &VideoEffectsManager::shared());
    EXPECT_EQ(VideoEffectsManager::shared().thread(), QCoreApplication::instance()->thread());
}

} // namespace

#include "test_video_effects_manager.moc"
