#include "output/ResultsDelivery.h"

#include <QBoxLayout>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStringList>

#include "app/Competition.h"
#include "output/ResultsSheet.h"
#include "output/ResultsSheetPdf.h"
#include "sheet/Workbook.h"
#include "store/FileMessages.h"
#include "ui/Dialogs.h"

namespace zalvik {

namespace {

// A spreadsheet program that has the workbook open keeps a lock file beside it (LibreOffice
// ".~lock.<name>#", Excel "~$<name>") and does not read the file again when asked to show it.
bool HeldOpenBySpreadsheetProgram(const QString& workbookPath) {
    const QFileInfo book(workbookPath);
    const QDir folder = book.absoluteDir();
    const QString name = book.fileName();
    return QFileInfo::exists(
               folder.filePath(QStringLiteral(".~lock.") + name + QLatin1Char('#'))) ||
           QFileInfo::exists(folder.filePath(QStringLiteral("~$") + name));
}

}  // namespace

void ShowResultsPrintPreview(QWidget* parent, const ResultsSheetPages& pages,
                             const QString& pdfPath) {
    QPrinter printer(QPrinter::HighResolution);
    // The pages carry the sheet's margins themselves, so the painter starts at the corner of
    // the paper.
    printer.setPageLayout(
        QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    printer.setFullPage(true);
    printer.setDocName(QFileInfo(pdfPath).completeBaseName());

    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setObjectName(QStringLiteral("印刷プレビュー"));
    dialog.setWindowTitle(QStringLiteral("公式成績表の印刷"));
    if (QPrinterInfo::availablePrinterNames().isEmpty()) {
        auto* note = new QLabel(
            QStringLiteral(
                "プリンターがインストールされていないため印刷できません（PDFは「%1」にあります）。")
                .arg(QDir::toNativeSeparators(pdfPath)),
            &dialog);
        note->setObjectName(QStringLiteral("プリンターなし"));
        note->setWordWrap(true);
        if (auto* box = qobject_cast<QBoxLayout*>(dialog.layout())) box->insertWidget(0, note);
        dialog.setWindowTitle(QStringLiteral("公式成績表の印刷（プリンターがありません）"));
    }
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&pages](QPrinter* device) {
                         QPainter painter(device);
                         const double dotsPerPoint = device->resolution() / 72.0;
                         for (int i = 0; i < pages.pageCount(); ++i) {
                             if (i > 0) device->newPage();
                             pages.drawPage(painter, i, dotsPerPoint);
                         }
                     });
    dialog.exec();
}

namespace {

QString NoProgramFor(const QString& path) {
    return QStringLiteral("「%1」を開けるプログラムが見つかりませんでした。")
        .arg(QDir::toNativeSeparators(path));
}

// Hands the workbook over; what the official has to be told about it, empty when it was taken.
QString HandOver(const QString& workbookPath, const QString& pdfPath) {
    // Handing it over again would only bring forward the window with the old contents.
    if (HeldOpenBySpreadsheetProgram(workbookPath))
        return store::HeldOpenMessage(QFileInfo(workbookPath).fileName());
    if (ui::OpenInSpreadsheetProgram(workbookPath)) return {};
    if (!pdfPath.isEmpty() && QFileInfo(pdfPath).isFile())
        return QStringLiteral(
                   "「%1」を開けるプログラムが見つからないため、公式成績表は"
                   "PDF「%2」で見てください。")
            .arg(QDir::toNativeSeparators(workbookPath), QDir::toNativeSeparators(pdfPath));
    return NoProgramFor(workbookPath);
}

}  // namespace

void ShowWorkbookInSpreadsheetProgram(QWidget* parent, const QString& workbookPath,
                                      const QString& pdfPath) {
    const QString said = HandOver(workbookPath, pdfPath);
    if (!said.isEmpty()) ui::ShowMessage(parent, said);
}

void DeliverResultsSheet(QWidget* parent, const Competition& c, sheet::Workbook& book, bool saved,
                         const QString& note) {
    // Whatever there is to say about this run goes into one box, so that an official going
    // through the classes presses once per class.
    QStringList said;
    if (!note.isEmpty()) said << note;
    const auto tell = [&] {
        if (!said.isEmpty()) ui::ShowMessage(parent, said.join(QLatin1Char('\n')));
        said.clear();
    };
    sheet::Worksheet* ws = ResultsWorksheet(&book);
    if (!ws) return tell();
    // A save under a new name moved the workbook; the PDF goes beside it there.
    const QString bookPath = QString::fromStdString(book.path());
    const ResultsSheetPages pages(*ws);
    const QString pdf = ResultsPdfPath(bookPath, c);
    QString why;
    const bool written = WriteResultsPdf(pages, pdf, &why);
    if (!written) said << why;
    if (c.printResultsSheet) {
        tell();
        ShowResultsPrintPreview(parent, pages, written ? pdf : QString());
    }
    // A file that could not be saved would show the sheet as it was before this run.
    else if (saved) {
        const bool held = HeldOpenBySpreadsheetProgram(bookPath);
        const QString handed = HandOver(bookPath, written ? pdf : QString());
        if (!handed.isEmpty()) said << handed;
        // The spreadsheet program still shows an earlier sheet, perhaps another class's; the
        // PDF just written is this class as it stands.
        if (held && written && !ui::OpenInSpreadsheetProgram(pdf)) said << NoProgramFor(pdf);
    }
    tell();
}

}  // namespace zalvik
