#include "info/InfoWindow.h"

#include "ui/Dialogs.h"

#include <QEvent>
#include <QLabel>

#include <algorithm>

namespace mg {

namespace {

constexpr int kMinGap = 4;        // the smallest gap the layouts leave between labels
constexpr int kDesignedLine = 13; // line height the layout rectangles were measured in
const char* const kDesigned = "designedGeometry";

} // namespace

QLabel* MakeWrappedLabel(QWidget* window, const char* name, QRect designed, const QString& text)
{
    auto* label = new QLabel(text, window);
    label->setObjectName(QString::fromLatin1(name));
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setProperty(kDesigned, designed);
    label->setGeometry(designed);
    return label;
}

void FitWrappedLabels(QWidget* window, QSize designedClient)
{
    QList<QLabel*> labels;
    for (QLabel* label : window->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
        if (label->property(kDesigned).isValid())
            labels.append(label);
    std::stable_sort(labels.begin(), labels.end(), [](QLabel* a, QLabel* b) {
        return a->property(kDesigned).toRect().top() < b->property(kDesigned).toRect().top();
    });
    int bottom = -kMinGap; // lowest edge of the labels placed so far
    for (QLabel* label : labels) {
        const QRect designed = label->property(kDesigned).toRect();
        int left = designed.left();
        int width = designed.width();
        // A one-line label stays one line: when its text is too wide for the
        // font in use, it widens evenly about the centre of its rectangle,
        // as far as the window's width allows.
        if (designed.height() < 2 * kDesignedLine) {
            const int needed = label->fontMetrics().horizontalAdvance(label->text()) + 2 * label->margin()
                               + 2 * label->frameWidth() + 1;
            if (needed > width) {
                width = std::min(needed, designedClient.width() - 2 * kMinGap);
                left = designed.left() + designed.width() / 2 - width / 2;
                left = std::clamp(left, kMinGap, designedClient.width() - kMinGap - width);
            }
        }
        const int top = std::max(designed.top(), bottom + kMinGap);
        const int height = label->heightForWidth(width);
        label->setGeometry(left, top, width, height);
        bottom = std::max(bottom, top + height);
    }
    const int height = std::max(designedClient.height(), bottom + kMinGap);
    window->setFixedSize(designedClient.width(), height);
}

InfoWindow::InfoWindow(QWidget* parent, const char* name, const QString& title, QSize designedClient)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      designedClient_(designedClient)
{
    setObjectName(QString::fromLatin1(name));
    setWindowTitle(title);
    setFont(WindowFont());
    setBackgroundRole(QPalette::Window);
    setAutoFillBackground(true);
}

void InfoWindow::PlaceLabels(QPoint position)
{
    // A client area of the layout size, fixed: the window cannot be resized.
    FitWrappedLabels(this, designedClient_);
    move(position);
}

void InfoWindow::ShowAndRaise()
{
    show();
    raise();
    activateWindow();
}

void InfoWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        FitWrappedLabels(this, designedClient_);
}

} // namespace mg
