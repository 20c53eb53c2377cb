#include "ui/Controls.h"

#include "ui/Twips.h"

namespace ui {
namespace {

template <typename W>
W* Named(W* w, const QString& name, Rect r) {
    w->setObjectName(name);
    Place(w, r.left, r.top, r.width, r.height);
    return w;
}

}  // namespace

QPushButton* MakeButton(QWidget* parent, const QString& name, const QString& caption, Rect r) {
    return Named(new QPushButton(caption, parent), name, r);
}

QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& caption, Rect r) {
    auto* label = Named(new QLabel(caption, parent), name, r);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QGroupBox* MakeFrame(QWidget* parent, const QString& name, const QString& caption, Rect r) {
    return Named(new QGroupBox(caption, parent), name, r);
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
        auto* b = new QRadioButton(parent);
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
