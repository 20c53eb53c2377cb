#include "ui/Controls.h"

#include <QPainter>

#include "ui/Twips.h"

namespace ui {
namespace {

// The caption starts a little way in from the frame's left edge.
constexpr int kCaptionLeft = 90;

template <typename W>
W* Named(W* w, const QString& name, Rect r) {
    w->setObjectName(name);
    Place(w, r.left, r.top, r.width, r.height);
    return w;
}

// An option button that takes a click anywhere in its rectangle, not only on its mark and
// caption: an option with a short caption still answers a click in the empty part of its area,
// where an official aiming at it is likely to click.
class OptionButton : public QRadioButton {
  public:
    using QRadioButton::QRadioButton;

  protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

}  // namespace

QPushButton* MakeButton(QWidget* parent, const QString& name, const QString& caption, Rect r) {
    return Named(new QPushButton(caption, parent), name, r);
}

QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& caption, Rect r) {
    auto* label = Named(new QLabel(caption, parent), name, r);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

Frame* MakeFrame(QWidget* parent, const QString& name, const QString& caption, Rect r) {
    return Named(new Frame(caption, parent), name, r);
}

QRect Frame::captionRect() const {
    if (title().isEmpty()) return {};
    const QFontMetrics fm(font());
    // A little room on both sides of the text keeps the line from touching it.
    const int pad = fm.horizontalAdvance(QLatin1Char(' ')) / 2 + 1;
    return QRect(TwipsToPixels(kCaptionLeft), 0, fm.horizontalAdvance(title()) + 2 * pad,
                 fm.height());
}

int Frame::topLine() const { return title().isEmpty() ? 0 : QFontMetrics(font()).height() / 2; }

void Frame::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // An etched line: a dark line with a light one inside it.
    const QRect box = rect().adjusted(0, topLine(), -1, -1);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(box.adjusted(0, 0, -1, -1));
    p.setPen(palette().color(QPalette::Light));
    p.drawRect(box.adjusted(1, 1, 0, 0));
    const QRect caption = captionRect();
    if (caption.isEmpty()) return;
    p.fillRect(caption, palette().color(QPalette::Window));
    p.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    p.drawText(caption, Qt::AlignCenter | Qt::TextSingleLine, title());
}

QLineEdit* MakeTextBox(QWidget* parent, const QString& name, Rect r) {
    return Named(new QLineEdit(parent), name, r);
}

QComboBox* MakeComboBox(QWidget* parent, const QString& name, Rect r) {
    auto* box = Named(new QComboBox(parent), name, r);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    return box;
}

QDateEdit* MakeDatePicker(QWidget* parent, const QString& name, Rect r) {
    auto* picker = Named(new QDateEdit(parent), name, r);
    picker->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    picker->setCalendarPopup(true);
    return picker;
}

QString ElementName(const QString& array, int index) {
    return QStringLiteral("%1(%2)").arg(array).arg(index);
}

void OptionArray::create(QWidget* parent, const QString& name, int count) {
    for (int i = 0; i < count; ++i) {
        auto* b = new OptionButton(parent);
        b->setObjectName(ElementName(name, i));
        QObject::connect(b, &QRadioButton::clicked, b, [this, i] {
            if (handler_) handler_(i);
        });
        buttons_.push_back(b);
    }
}

void OptionArray::select(int i) {
    buttons_.at(i)->setChecked(true);
    if (handler_) handler_(i);
}

void OptionArray::check(int i) { buttons_.at(i)->setChecked(true); }

void OptionArray::deselect(int i) {
    QRadioButton* b = buttons_.at(i);
    // An exclusive option cannot be switched off directly; lift the exclusivity for a moment.
    b->setAutoExclusive(false);
    b->setChecked(false);
    b->setAutoExclusive(true);
}

void OptionArray::deselectAll() {
    for (int i = 0; i < size(); ++i) deselect(i);
}

int OptionArray::selected() const {
    for (int i = 0; i < size(); ++i)
        if (buttons_[i]->isChecked()) return i;
    return -1;
}

}  // namespace ui
