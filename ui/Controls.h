#pragma once
// Small factories for the standard controls of the screens. Each control gets its documented
// name as objectName (tests find controls by it) and its place in twips.

#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <functional>
#include <vector>

namespace ui {

struct Rect {
    int left, top, width, height;  // twips
};

QPushButton* MakeButton(QWidget* parent, const QString& name, const QString& caption, Rect r);
QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& caption, Rect r);

// A frame: an etched border with an optional caption standing on its top line, at the frame's
// top edge. The screens place their controls inside frames by twips from the frame's corner,
// for a caption that takes no more room than that; a caption drawn above the line instead
// would push the line onto the first control.
class Frame : public QGroupBox {
    Q_OBJECT
  public:
    using QGroupBox::QGroupBox;
    // Where the caption is drawn, in the frame's own coordinates; empty without a caption.
    QRect captionRect() const;
    // The y of the border's top line, in the frame's own coordinates.
    int topLine() const;

  protected:
    void paintEvent(QPaintEvent* e) override;
};

Frame* MakeFrame(QWidget* parent, const QString& name, const QString& caption, Rect r);
QLineEdit* MakeTextBox(QWidget* parent, const QString& name, Rect r);
// A combo box with a list and free text entry.
QComboBox* MakeComboBox(QWidget* parent, const QString& name, Rect r);
// A date picker showing the date as yyyy/MM/dd.
QDateEdit* MakeDatePicker(QWidget* parent, const QString& name, Rect r);

// The name of element i of a control array: "Gop(0)", "ブイ(4)".
QString ElementName(const QString& array, int index);

// An array of option buttons sharing one container; selecting one deselects the others.
// The click handler runs when the user clicks an option (also one already selected) and when
// code selects one through select(), as the screens expect of an option's click.
class OptionArray {
  public:
    OptionArray() = default;
    // The buttons' click handlers refer to the array itself, so it stays where it was made.
    OptionArray(const OptionArray&) = delete;
    OptionArray& operator=(const OptionArray&) = delete;
    // Creates count options named name(0)..name(count-1) in parent, all unselected.
    void create(QWidget* parent, const QString& name, int count);
    void onClick(std::function<void(int)> handler) { handler_ = std::move(handler); }

    int size() const { return static_cast<int>(buttons_.size()); }
    QRadioButton* operator[](int i) const { return buttons_.at(i); }
    // Selects option i and runs the click handler with i.
    void select(int i);
    // Shows option i selected without running the click handler.
    void check(int i);
    // Deselects option i (without running any handler).
    void deselect(int i);
    void deselectAll();
    // Index of the selected option, -1 when none.
    int selected() const;

  private:
    std::vector<QRadioButton*> buttons_;
    std::function<void(int)> handler_;
};

}  // namespace ui
