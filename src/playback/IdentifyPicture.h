#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QRect>
#include <QString>

class QPainter;

namespace orvelo {

// The picture with which the node shows which one it is when a console asks it to identify:
// its name and its address in large text over the whole output, the colours swapping every
// quarter second so that it flashes twice a second and cannot be taken for content. While on,
// it takes the place of what plays in the output window and the preview. One process-wide
// instance, shared(); main thread.
class IdentifyPicture : public QObject {
    Q_OBJECT
public:
    static IdentifyPicture& shared();
    explicit IdentifyPicture(QObject* parent = nullptr);

    bool isOn() const { return on_; }
    void setOn(bool on);
    // The lines the picture shows: the node's name and its address.
    const QString& name() const { return name_; }
    const QString& address() const { return address_; }
    void setText(const QString& name, const QString& address);

    // Whether the picture is light (dark text on white) `elapsedMs` after it was turned on.
    static bool isLightAt(qint64 elapsedMs);
    // Draws the picture over `area` in its phase of now.
    void paint(QPainter& painter, QRect area) const;
    void paint(QPainter& painter, QRect area, bool light) const;

signals:
    // On, off or the text: the output must be redrawn.
    void changed();

private:
    bool on_ = false;
    QString name_;
    QString address_;
    QElapsedTimer since_;
};

} // namespace orvelo
