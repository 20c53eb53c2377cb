#include "ui/Grid.h"

#include <QAbstractButton>
#include <QAbstractTableModel>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionHeader>
#include <QtDebug>

#include "ui/Twips.h"

namespace ui {

// Presents the grid's texts to the view: the fixed header row becomes the horizontal header
// and a fixed first column the vertical header, so both stay put when the body scrolls.
class GridModel : public QAbstractTableModel {
  public:
    explicit GridModel(Grid* grid) : QAbstractTableModel(grid), grid_(grid) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : std::max(0, grid_->rows_ - grid_->fixedRows_);
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : std::max(0, grid_->cols_ - grid_->fixedCols_);
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid()) return {};
        return grid_->text(index.row() + grid_->fixedRows_, index.column() + grid_->fixedCols_);
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (role == Qt::TextAlignmentRole) return int(Qt::AlignLeft | Qt::AlignVCenter);
        if (role != Qt::DisplayRole) return {};
        if (o == Qt::Horizontal)
            return grid_->fixedRows_ ? grid_->text(0, section + grid_->fixedCols_) : QVariant();
        return grid_->fixedCols_ ? grid_->text(section + grid_->fixedRows_, 0) : QVariant();
    }
    void reset() {
        beginResetModel();
        endResetModel();
    }
    void cellChanged(int row, int col) {
        const int r = row - grid_->fixedRows_;
        const int c = col - grid_->fixedCols_;
        if (r < 0 && c < 0) {
            if (auto* corner = grid_->findChild<QAbstractButton*>()) corner->update();
            return;
        }
        if (r < 0) {
            emit headerDataChanged(Qt::Horizontal, c, c);
        } else if (c < 0) {
            emit headerDataChanged(Qt::Vertical, r, r);
        } else {
            // The view reads every text when it paints, so a repaint is all a changed body cell
            // needs. Qt merges repeated update requests into one paint; a per-cell change
            // notice would cost far more when a load writes thousands of cells.
            grid_->requestRepaint();
        }
    }

  private:
    Grid* grid_;
};

// Where the fixed header row meets a fixed first column, the view has a corner of its own that
// it leaves blank; the grid shows cell (0, 0) there, as the buoy and gate grids head their
// label column in it ("ﾌﾞｲNo", " GNo").
class CornerText : public QObject {
  public:
    explicit CornerText(Grid* grid) : QObject(grid), grid_(grid) {
        if (auto* corner = grid->findChild<QAbstractButton*>()) corner->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() != QEvent::Paint) return false;
        auto* corner = static_cast<QWidget*>(watched);
        QPainter painter(corner);
        QStyleOptionHeader opt;
        opt.initFrom(corner);
        opt.rect = corner->rect();
        opt.position = QStyleOptionHeader::OnlyOneSection;
        opt.text = grid_->rows() > 0 && grid_->cols() > 0 ? grid_->text(0, 0) : QString();
        opt.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
        corner->style()->drawControl(QStyle::CE_Header, &opt, &painter, corner);
        return true;
    }

  private:
    Grid* grid_;
};

Grid::Grid(QWidget* parent) : QTableView(parent), model_(new GridModel(this)) {
    new CornerText(this);
    cells_.assign(rows_ * cols_, QString());
    colWidths_.assign(cols_, defaultColWidth_);
    rowHeights_.assign(rows_, defaultRowHeight_);
    setModel(model_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setWordWrap(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setSectionsClickable(false);
    verticalHeader()->setSectionsClickable(false);
    // The view's own row header would stand as an empty strip at the left of a grid that has
    // no fixed column; it is there only while the first column is fixed.
    horizontalHeader()->setVisible(fixedRows_ == 1);
    verticalHeader()->setVisible(fixedCols_ == 1);
    connect(this, &QTableView::clicked, this, [this](const QModelIndex& index) {
        int r, c;
        cellFromIndex(index, &r, &c);
        currentRow_ = r;
        currentCol_ = c;
        emit cellClicked(r, c);
    });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { emit scrolled(); });
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { emit scrolled(); });
    applySizes();
}

void Grid::cellFromIndex(const QModelIndex& index, int* row, int* col) const {
    *row = index.row() + fixedRows_;
    *col = index.column() + fixedCols_;
}

// An address outside the grid is a fault of the caller. It is reported (tests fail on the
// warning) and the access is ignored, so that a race-day session goes on.
bool Grid::checkCell(int row, int col) const {
    if (row >= 0 && row < rows_ && col >= 0 && col < cols_) return true;
    qWarning("grid %s: cell (%d, %d) outside %d x %d", qPrintable(objectName()), row, col, rows_,
             cols_);
    return false;
}

void Grid::setRows(int rows) {
    rows = std::max(rows, 0);
    if (rows == rows_) return;
    cells_.resize(static_cast<size_t>(rows) * cols_);
    rowHeights_.resize(rows, defaultRowHeight_);
    rows_ = rows;
    model_->reset();
    applySizes();
}

void Grid::setCols(int cols) {
    cols = std::max(cols, 0);
    if (cols == cols_) return;
    std::vector<QString> cells(static_cast<size_t>(rows_) * cols);
    for (int r = 0; r < rows_; ++r)
        for (int c = 0; c < std::min(cols, cols_); ++c)
            cells[r * cols + c] = std::move(cells_[r * cols_ + c]);
    cells_ = std::move(cells);
    colWidths_.resize(cols, defaultColWidth_);
    cols_ = cols;
    model_->reset();
    applySizes();
}

void Grid::setFixedRows(int n) {
    fixedRows_ = std::clamp(n, 0, 1);
    horizontalHeader()->setVisible(fixedRows_ == 1);
    model_->reset();
    applySizes();
}

void Grid::setFixedCols(int n) {
    fixedCols_ = std::clamp(n, 0, 1);
    verticalHeader()->setVisible(fixedCols_ == 1);
    model_->reset();
    applySizes();
}

QString Grid::text(int row, int col) const {
    if (!checkCell(row, col)) return {};
    return cells_[static_cast<size_t>(row) * cols_ + col];
}

void Grid::setText(int row, int col, const QString& text) {
    if (!checkCell(row, col)) return;
    QString& cell = cells_[static_cast<size_t>(row) * cols_ + col];
    if (cell == text) return;
    cell = text;
    model_->cellChanged(row, col);
}

void Grid::setColWidth(int col, int twips) {
    if (!checkCell(0, col)) return;
    colWidths_[col] = twips;
    applySizes();
}

int Grid::colWidth(int col) const {
    if (!checkCell(0, col)) return 0;
    return colWidths_[col];
}

void Grid::setRowHeight(int row, int twips) {
    if (row == -1) {
        defaultRowHeight_ = twips;
        rowHeights_.assign(rows_, twips);
    } else {
        if (!checkCell(row, 0)) return;
        rowHeights_[row] = twips;
    }
    applySizes();
}

int Grid::rowHeightTwips(int row) const {
    if (!checkCell(row, 0)) return 0;
    return rowHeights_[row];
}

void Grid::applySizes() {
    QHeaderView* h = horizontalHeader();
    QHeaderView* v = verticalHeader();
    if (fixedCols_ && cols_ > 0) v->setFixedWidth(TwipsToPixels(colWidths_[0]));
    if (fixedRows_ && rows_ > 0) h->setFixedHeight(TwipsToPixels(rowHeights_[0]));
    for (int c = fixedCols_; c < cols_; ++c)
        h->resizeSection(c - fixedCols_, TwipsToPixels(colWidths_[c]));
    v->setDefaultSectionSize(std::max(1, TwipsToPixels(defaultRowHeight_)));
    for (int r = fixedRows_; r < rows_; ++r) {
        if (rowHeights_[r] != defaultRowHeight_)
            v->resizeSection(r - fixedRows_, TwipsToPixels(rowHeights_[r]));
    }
}

void Grid::setCurrentCell(int row, int col) {
    currentRow_ = row;
    currentCol_ = col;
    if (row >= fixedRows_ && col >= fixedCols_ && row < rows_ && col < cols_)
        setCurrentIndex(model_->index(row - fixedRows_, col - fixedCols_));
}

void Grid::requestRepaint() {
    // One request per paint is enough: until the view paints, further requests would only
    // repeat it.
    if (repaintPending_) return;
    repaintPending_ = true;
    viewport()->update();
}

void Grid::paintEvent(QPaintEvent* e) {
    repaintPending_ = false;
    QTableView::paintEvent(e);
}

QRect Grid::cellRect(int row, int col) const {
    if (!checkCell(row, col) || row < fixedRows_ || col < fixedCols_) return {};
    QRect r = visualRect(model_->index(row - fixedRows_, col - fixedCols_));
    if (r.isEmpty()) return {};
    return r.translated(viewport()->pos());
}

void Grid::keyPressEvent(QKeyEvent* e) {
    QTableView::keyPressEvent(e);
    const QModelIndex index = currentIndex();
    if (index.isValid()) cellFromIndex(index, &currentRow_, &currentCol_);
}

void Grid::clickCell(int row, int col) {
    if (!checkCell(row, col)) return;
    if (row >= fixedRows_ && col >= fixedCols_) {
        const QModelIndex index = model_->index(row - fixedRows_, col - fixedCols_);
        setCurrentIndex(index);
        scrollTo(index);
    }
    currentRow_ = row;
    currentCol_ = col;
    emit cellClicked(row, col);
}

}  // namespace ui
