// Protects the live effect store: reset to defaults in order, notification on every change, and
// the snapshot the compositor reads.

#include "playback/VideoEffectsManager.h"

#include <QCoreApplication>
#include <QMetaProperty>
#include <QObject>

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

using namespace orvelo;

namespace {

// Records, in order, which property notified ("brightness") and where the object-level notice
// before each change fell ("aboutToChange").
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

public slots:
    void record()
    {
        const std::string name = sender()->metaObject()->method(senderSignalIndex()).name().toStdString();
        events.push_back(name.substr(0, name.size() - std::string("Changed").size()));
    }
};

TEST(VideoEffectsManagerTest, ResetWritesEveryDefaultBackInDeclarationOrderEachNotifying)
{
    // Every property away from its default first.
    VideoEffectsManager effects;
    const QMetaObject& meta = VideoEffectsManager::staticMetaObject;
    for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i) {
        const QMetaProperty property = meta.property(i);
        const QVariant value = property.read(&effects);
        property.write(&effects, value.typeId() == QMetaType::Bool  ? QVariant(!value.toBool())
                                 : value.typeId() == QMetaType::Int ? QVariant(value.toInt() + 7)
                                                                    : QVariant(value.toDouble() - 0.5));
        ASSERT_NE(property.read(&effects), value) << property.name();
    }
    NotificationRecorder recorder(effects);
    effects.resetAll();
    std::vector<std::string> expected;
    for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i) {
        expected.emplace_back("aboutToChange");
        expected.emplace_back(meta.property(i).name());
    }
    EXPECT_EQ(recorder.events, expected);

    VideoEffectsManager fresh;
    for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i)
        EXPECT_EQ(meta.property(i).read(&effects), meta.property(i).read(&fresh)) << meta.property(i).name();
}

TEST(VideoEffectsManagerTest, OnlyAChangeNotifiesAfterANoticeThatSeesTheOldValue)
{
    // A console holds its faders: the same values again, even a bad number, are not news.
    VideoEffectsManager effects;
    NotificationRecorder recorder(effects);
    effects.resetAll();
    effects.setPlaybackSpeed(1.0f);
    effects.setRedTimeShift(0);
    effects.setRedHorizontalOffset(std::nan(""));
    effects.setRedHorizontalOffset(std::nan(""));
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"aboutToChange", "redHorizontalOffset"}));

    effects.setBrightness(0.25f);
    float before = 0.0f;
    QObject::connect(&effects, &VideoEffectsManager::aboutToChange, [&] { before = effects.brightness(); });
    effects.setBrightness(0.75f);
    EXPECT_EQ(before, 0.25f);
}

TEST(VideoEffectsManagerTest, SharedInstanceIsOneAndLivesOnTheMainThread)
{
    VideoEffectsManager* fromThread = nullptr;
    std::thread([&] { fromThread = &VideoEffectsManager::shared(); }).join();
    EXPECT_EQ(fromThread, &VideoEffectsManager::shared());
    EXPECT_EQ(VideoEffectsManager::shared().thread(), QCoreApplication::instance()->thread());
}

} // namespace

#include "test_video_effects_manager.moc"
