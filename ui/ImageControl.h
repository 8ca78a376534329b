#pragma once
// TImage: the image control. It holds a TPicture and draws it at its natural
// size from the top-left corner (clipped) or, with Stretch on, scaled to the
// whole control. With AutoSize on it takes the picture's natural size. It can
// float into a tool window of its own (FloatControl); with DragFloats on, a
// left press on the floating control moves that window instead of clicking.
#include "ui/Picture.h"

#include <QPoint>
#include <QPointer>
#include <QWidget>

namespace mg {

class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);
    ~TImage() override;

    TPicture& Picture() { return picture_; }
    const TPicture& Picture() const { return picture_; }

    // On: the control takes the picture's natural size whenever the picture
    // changes (when both sides are above 0), at once when turned on, and
    // instead of any size or position assigned while on (0 x 0 without a
    // picture). Off: the size stays and later assignments hold.
    void SetAutoSize(bool on);
    bool AutoSize() const { return autoSize_; }
    // On: drawn scaled to the whole control; off: natural size from the
    // top-left corner, clipped.
    void SetStretch(bool on);
    bool Stretch() const { return stretch_; }
    // Automatic drag of a floating control: a left press moves its window at
    // once, keeping the grabbed point under the pointer; no click follows.
    void SetDragFloats(bool on) { dragFloats_ = on; }
    bool DragFloats() const { return dragFloats_; }

    // Size and position assignments that obey AutoSize. (QWidget's own
    // resize/move/setGeometry are also corrected while the control is shown.)
    void SetBounds(int left, int top, int width, int height);
    void SetLeft(int left) { SetBounds(left, y(), width(), height()); }
    void SetTop(int top) { SetBounds(x(), top, width(), height()); }
    void SetWidth(int width) { SetBounds(x(), y(), width, height()); }
    void SetHeight(int height) { SetBounds(x(), y(), width(), height); }

    // Moves the control into a new floating tool window owned by the
    // application: outer top-left at the rectangle's top-left, client area
    // the rectangle's size, empty caption, stays on top. The control fills the
    // window and the two follow each other's size. Closing the window hides
    // it with the control inside; a window the control has left deletes
    // itself. A previous floating window is left (and so released).
    void FloatControl(const QRect& screenRect);
    // The floating window holding the control, or nullptr.
    QWidget* FloatHost() const;

signals:
    void clicked();          // a left click (not while the drag applies)
    void contextRequested(); // a context-menu request (right button)

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void PictureChanged();
    QSize NaturalSize() const;
    void FollowAutoSize();
    void SyncHost();

    TPicture picture_;
    bool autoSize_ = false;
    bool stretch_ = false;
    bool dragFloats_ = false;
    bool paintFailed_ = false; // a drawing error was reported for this picture
    bool pressed_ = false;     // a left press that may become a click
    bool dragging_ = false;    // a left press that moves the floating window
    QPoint grabOffset_;        // pointer position minus the window's position
};

} // namespace mg
