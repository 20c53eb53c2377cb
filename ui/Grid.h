#pragma once
// The grid the screens use: a table of texts addressed (row, column) from 0, whose row 0 is a
// fixed header row and whose first column may be fixed too. Fixed cells stay in place while
// the rest scrolls, as the screens' headers and row labels must. Lengths are in twips.

#include <QRect>
#include <QString>
#include <QTableView>
#include <vector>

namespace ui {

class GridModel;

class Grid : public QTableView {
    Q_OBJECT
  public:
    explicit Grid(QWidget* parent = nullptr);

    int rows() const { return rows_; }
    int cols() const { return cols_; }
    // Changing the shape keeps the texts of the cells that remain; new cells are empty.
    void setRows(int rows);
    void setCols(int cols);
    // Fixed rows: 0 or 1 (row 0 is the header). Fixed columns: 0 or 1.
    void setFixedRows(int n);
    void setFixedCols(int n);
    int fixedRows() const { return fixedRows_; }
    int fixedCols() const { return fixedCols_; }

    QString text(int row, int col) const;
    void setText(int row, int col, const QString& text);

    void setColWidth(int col, int twips);
    int colWidth(int col) const;
    // row -1 sets every row, present and future.
    void setRowHeight(int row, int twips);
    int rowHeightTwips(int row) const;

    // The cell most recently clicked (or set), in grid coordinates.
    int currentRow() const { return currentRow_; }
    int currentCol() const { return currentCol_; }
    void setCurrentCell(int row, int col);

    // Geometry of a cell relative to the grid's own top-left corner, in pixels (empty when the
    // cell is scrolled out of view).
    QRect cellRect(int row, int col) const;

    // Clicks a cell as a user would; for tests and for code that must act as the user.
    void clickCell(int row, int col);

  signals:
    void cellClicked(int row, int col);
    void scrolled();

  protected:
    void paintEvent(QPaintEvent* e) override;
    // The arrow and page keys move the current cell, as a click does (without its signal).
    void keyPressEvent(QKeyEvent* e) override;

  private:
    void requestRepaint();
    void cellFromIndex(const QModelIndex& index, int* row, int* col) const;
    void applySizes();
    bool checkCell(int row, int col) const;

    GridModel* model_;
    int rows_ = 2;
    int cols_ = 2;
    int fixedRows_ = 1;
    int fixedCols_ = 0;
    int currentRow_ = 1;
    int currentCol_ = 0;
    std::vector<QString> cells_;   // rows_ × cols_, row-major
    std::vector<int> colWidths_;   // twips
    std::vector<int> rowHeights_;  // twips
    int defaultColWidth_ = 960;
    int defaultRowHeight_ = 240;
    bool repaintPending_ = false;

    friend class GridModel;
};

}  // namespace ui
