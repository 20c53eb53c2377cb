#pragma once
// A tab strip: a row of captioned tabs over a client area. The pages shown in the client area
// are separate widgets placed over it by their owner; the strip tells its owner whenever the
// selected tab changes (1-based, as the screens count tabs), whatever changed it: a click, the
// arrow keys, or code.

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
    // Selects a tab; selectedChanged follows when the selection moves.
    void select(int index1);
    // The client area below the tabs, in the parent's coordinates (pixels).
    QRect clientRect() const;
    // Where tab index1 is drawn, in the strip's own coordinates (pixels).
    QRect tabRect(int index1) const;

  signals:
    // The selected tab is now index1 (1-based). Not sent while the strip has no tab.
    void selectedChanged(int index1);

  protected:
    void resizeEvent(QResizeEvent* e) override;

  private:
    QTabBar* bar_;
    QWidget* body_;
};

}  // namespace ui
