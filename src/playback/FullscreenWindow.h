#pragma once

#include <QRasterWindow>
#include <QTimer>

#include <memory>

class QScreen;

namespace orvelo {

class ExternalVideoContentView;

// The output window for the audience: borderless, above other windows, black, covering one
// display, and able to take the keyboard although it has no title bar (so Escape reaches it).
// It paints its content once per display refresh when the content asks for it. A double click
// anywhere asks for it to be closed. Made and closed by ExternalWindowManager.
class FullscreenWindow : public QRasterWindow {
    Q_OBJECT

public:
    FullscreenWindow(std::unique_ptr<ExternalVideoContentView> content, QScreen* screen);
    ~FullscreenWindow() override;

    ExternalVideoContentView* content() const { return content_.get(); }
    // Lets the content go; the window shows black until it closes.
    void removeContent();

signals:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    std::unique_ptr<ExternalVideoContentView> content_;
    QTimer refresh_;
};

} // namespace orvelo
