#pragma once
// A tab strip: a row of captioned tabs over a client area. The pages shown in the client area
// are separate widgets placed over it by their owner; the strip only reports which tab was
// clicked (1-based, as the screens count tabs).

#include <QRect>
#include <QWidget>

class QTabBar;

namespace ui {

class TabStrip : public QWidget {
    Q_OBJECT
  public:
    explicit TabStrip(QWidget* parent = nullptr);

    void clear();
    void addTab(const QString& caption);
    int count() const;
    QString caption(int index1) const;  // 1-based
    int selectedIndex() const;          // 1-based, 0 when there is no tab
    void select(int index1);            // as a user click: emits tabClicked
    // The client area below the tabs, in the parent's coordinates (pixels).
    QRect clientRect() const;

  signals:
    void tabClicked(int index1);

  protected:
    void resizeEvent(QResizeEvent* e) override;

  private:
    QTabBar* bar_;
    QWidget* body_;
};

}  // namespace ui
