#include "batch/BatchControls.h"

#include "ui/Dialogs.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <new>

namespace mg::batch {

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int left, int top, bool bold, double scale,
                  bool centred)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    if (bold || scale != 1.0)
        label->setFont(WindowFont(scale, bold));
    if (centred)
        label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    label->move(left, top);
    FitLabel(label);
    return label;
}

void FitLabel(QLabel* label)
{
    const QSize hint = label->sizeHint();
    if (label->size() != hint)
        label->resize(hint);
}

void SetLabelText(QLabel* label, const QString& text)
{
    if (label->text() != text)
        label->setText(text);
    FitLabel(label);
}

void FitCaptions(QWidget* window, QSize designed, const std::vector<QWidget*>& controls)
{
    int right = designed.width();
    for (QWidget* control : controls) {
        const int wanted = control->sizeHint().width();
        if (control->width() < wanted)
            control->resize(wanted, control->height());
        right = std::max(right, control->x() + control->width() + 4);
    }
    window->setFixedSize(right, designed.height());
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, int left, int top, int width,
                        int height)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    button->setGeometry(left, top, width, height);
    return button;
}

namespace {

template <class Control> Control* Named(Control* control, const char* name, int left, int top, int width, int height)
{
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(left, top, width, height);
    return control;
}

} // namespace

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& caption, int left, int top, int width,
                        int height)
{
    return Named(new QCheckBox(caption, parent), name, left, top, width, height);
}

QRadioButton* MakeRadioButton(QWidget* parent, const char* name, const QString& caption, int left, int top, int width,
                              int height)
{
    return Named(new QRadioButton(caption, parent), name, left, top, width, height);
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, const QString& text, int left, int top, int width, int height)
{
    return Named(new QLineEdit(text, parent), name, left, top, width, height);
}

QProgressBar* MakeProgressBar(QWidget* parent, int left, int top, int width, int height)
{
    auto* bar = Named(new QProgressBar(parent), "ProgressBar1", left, top, width, height);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

std::string CutAtDesktop(const std::string& path)
{
    const std::size_t at = path.find("Desktop");
    return at == std::string::npos ? path : path.substr(at);
}

std::string FileNameBytes(const QString& text)
{
    const QByteArray bytes = QFile::encodeName(text);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void ReportHandlerError(const std::exception_ptr& error)
{
    ErrorReport(ErrorMessage(error));
}

} // namespace mg::batch
