// The image control and its floating tool window.
#include "ui/ImageControl.h"

#include "base/Error.h"
#include "ui/Dialogs.h"

#include <QApplication>
#include <QChildEvent>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <cstdlib>
#include <cstring>
#include <new>
#ifdef MG_HAVE_XCB
#include <QGuiApplication>
#include <xcb/xcb.h>
#endif

namespace mg {

namespace {

// Qt gives a window with an empty title the application's name on X11; the
// snapshot window's title is empty, so it is written to the window itself.
void ClearNativeTitle(QWidget* window)
{
#ifdef MG_HAVE_XCB
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection() || QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    xcb_connection_t* connection = x11->connection();
    auto atom = [connection](const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return result;
    };
    const xcb_window_t id = xcb_window_t(window->winId());
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0, "");
    const xcb_atom_t netName = atom("_NET_WM_NAME"), utf8 = atom("UTF8_STRING");
    if (netName != XCB_ATOM_NONE && utf8 != XCB_ATOM_NONE)
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, netName, utf8, 8, 0, "");
    xcb_flush(connection);
#else
    (void)window;
#endif
}

// The floating tool window made by FloatControl. Its only job is to hold one
// image control, keep it filling the client area, and go away once empty.
class FloatWindow : public QWidget {
public:
    FloatWindow() : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint)
    {
        setObjectName(QStringLiteral("FloatWindow"));
        setWindowTitle(QString());
        // Owned by the application: released with it at the end of the run.
        connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { delete this; });
    }

    TImage* Control() const { return findChild<TImage*>(QString(), Qt::FindDirectChildrenOnly); }

protected:
    void showEvent(QShowEvent* event) override
    {
        QWidget::showEvent(event);
        ClearNativeTitle(this);
    }
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        if (TImage* control = Control())
            if (control->geometry() != rect())
                control->setGeometry(rect());
    }
    void closeEvent(QCloseEvent* event) override
    {
        // The close box hides the window with the control still inside.
        hide();
        event->ignore();
    }
    void childEvent(QChildEvent* event) override
    {
        QWidget::childEvent(event);
        if (event->removed() && !Control())
            deleteLater();
    }
};

} // namespace

TImage::TImage(QWidget* parent) : QWidget(parent)
{
    picture_.OnChange = [this] { PictureChanged(); };
    setContextMenuPolicy(Qt::DefaultContextMenu);
}

TImage::~TImage()
{
    picture_.OnChange = nullptr;
}

QSize TImage::NaturalSize() const
{
    if (picture_.Empty())
        return QSize(0, 0);
    return QSize(picture_.Width(), picture_.Height());
}

void TImage::FollowAutoSize()
{
    if (autoSize_ && size() != NaturalSize())
        resize(NaturalSize());
    SyncHost();
}

void TImage::SyncHost()
{
    // A floating control and its window keep one size.
    QWidget* host = FloatHost();
    if (!host)
        return;
    if (pos() != QPoint(0, 0))
        move(0, 0);
    if (host->size() != size())
        host->resize(size());
}

void TImage::PictureChanged()
{
    paintFailed_ = false;
    if (autoSize_ && !picture_.Empty()) {
        resize(NaturalSize());
        SyncHost();
    }
    update();
}

void TImage::SetAutoSize(bool on)
{
    autoSize_ = on;
    FollowAutoSize();
}

void TImage::SetStretch(bool on)
{
    if (stretch_ == on)
        return;
    stretch_ = on;
    update();
}

void TImage::SetBounds(int left, int top, int width, int height)
{
    if (autoSize_) {
        const QSize natural = NaturalSize();
        width = natural.width();
        height = natural.height();
    }
    setGeometry(left, top, qMax(0, width), qMax(0, height));
    SyncHost();
}

QWidget* TImage::FloatHost() const
{
    QWidget* parent = parentWidget();
    return parent && parent->objectName() == QLatin1String("FloatWindow") && dynamic_cast<FloatWindow*>(parent)
               ? parent
               : nullptr;
}

void TImage::FloatControl(const QRect& screenRect)
{
    auto* window = new FloatWindow;
    window->resize(qMax(0, screenRect.width()), qMax(0, screenRect.height()));
    // For a window, move() places the outer frame.
    window->move(screenRect.topLeft());
    // Leaving the old window (if any) makes that one delete itself.
    setParent(window);
    setGeometry(window->rect());
    QWidget::show();
    window->show();
}

void TImage::paintEvent(QPaintEvent*)
{
    const TGraphic* graphic = picture_.Graphic();
    if (!graphic || graphic->Empty() || paintFailed_)
        return;
    QPainter painter(this);
    const QRect target = stretch_ ? rect() : QRect(0, 0, graphic->Width(), graphic->Height());
    try {
        graphic->Draw(painter, target);
    } catch (const std::exception&) {
        // No dialog may open inside a paint event: the report follows it.
        // Nothing more is drawn of this picture, so it is reported once.
        paintFailed_ = true;
        PostErrorReport(ErrorMessage(std::current_exception()));
    }
}

void TImage::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    if (dragFloats_) {
        if (QWidget* host = FloatHost()) {
            dragging_ = true;
            pressed_ = false;
            grabOffset_ = event->globalPosition().toPoint() - host->pos();
            event->accept();
            return;
        }
    }
    pressed_ = true;
    event->accept();
}

void TImage::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_ && (event->buttons() & Qt::LeftButton)) {
        if (QWidget* host = FloatHost())
            host->move(event->globalPosition().toPoint() - grabOffset_);
        event->accept();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void TImage::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    if (dragging_) {
        dragging_ = false;
        if (QWidget* host = FloatHost())
            host->move(event->globalPosition().toPoint() - grabOffset_);
        event->accept();
        return;
    }
    const bool click = pressed_ && rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    if (click)
        emit clicked();
}

void TImage::contextMenuEvent(QContextMenuEvent* event)
{
    // The control has no menu of its own; the request is passed on unhandled.
    emit contextRequested();
    event->ignore();
}

void TImage::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FollowAutoSize();
}

void TImage::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    FollowAutoSize();
}

} // namespace mg
