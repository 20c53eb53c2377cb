// The example workbook reached the way an official reaches it on the first day: the load
// button's file dialog offers the program's own folder among its places; a click on that
// place, one on the example and one on the open button load it.

#include <QApplication>
#include <QCryptographicHash>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "app/DataLoadScreen.h"
#include "app/Installation.h"
#include "app/Screens.h"
#include "app/StartScreen.h"
#include "race/ProcessingScreen.h"
#include "support/TestFiles.h"
#include "ui/Dialogs.h"

using zalvik::Program;

namespace {

QByteArray Digest(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

void Click(QWidget& screen, const char* name) {
    auto* button = screen.findChild<QPushButton*>(QString::fromUtf8(name));
    QVERIFY2(button && button->isVisible(), name);
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

// Answers the file dialog as an official would, step by step from a timer while the dialog
// runs: click the offered place at the dialog's side, then click the example in the file list
// and the dialog's open button. Records how often the place was listed and any message box shown
// (answered OK).
struct DialogWalk {
    QString folder, example;
    int placesFound = -1;
    bool chosen = false;
    QStringList messages;
    int ticks = 0;

    void step() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages << box->text();
            box->button(QMessageBox::Ok)->click();
            return;
        }
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog) return;
        if (++ticks > 500) {  // ten seconds: give up rather than hang the test
            dialog->reject();
            return;
        }
        auto* places = dialog->findChild<QListView*>(QStringLiteral("sidebar"));
        auto* files = dialog->findChild<QListView*>(QStringLiteral("listView"));
        if (!places || !files) return;
        if (placesFound < 0) {
            placesFound = 0;
            QModelIndex offered;
            for (int row = 0; row < places->model()->rowCount(); ++row) {
                const QModelIndex i = places->model()->index(row, 0);
                if (i.data(Qt::ToolTipRole).toString() == folder) {
                    ++placesFound;
                    offered = i;
                }
            }
            if (!offered.isValid()) {
                dialog->reject();
                return;
            }
            places->scrollTo(offered);
            QTest::mouseClick(places->viewport(), Qt::LeftButton, {},
                              places->visualRect(offered).center());
            return;
        }
        auto* model = qobject_cast<QFileSystemModel*>(files->model());
        if (!model || chosen) return;
        const QModelIndex file = model->index(example);
        // The list fills in the background once the folder is entered.
        if (!file.isValid() || files->rootIndex() != file.parent()) return;
        const QRect spot = files->visualRect(file);
        if (spot.isEmpty()) return;
        chosen = true;
        QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, spot.center());
        auto* open = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open);
        QTest::mouseClick(open, Qt::LeftButton, {}, open->rect().center());
    }
};

}  // namespace

class ExampleFolderTest : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::TempDir> config;

  private slots:
    void initTestCase() {
        // The file dialog keeps its places in the user's settings; this test starts from none
        // and leaves the user's own settings alone.
        config = std::make_unique<testsupport::TempDir>();
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config->path()));
        zalvik::SetUpScreenFont();
        ui::testing::EnableDialogHooks(false);
    }

    void cleanupTestCase() {
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(!w->isVisible(), qPrintable(w->objectName() + " left open"));
    }

    // Loaded twice, as on a rehearsal day: the second time the place must still be listed
    // once, not once more for every load.
    void exampleLoadsFromTheOfferedPlace() {
        const QString folder = zalvik::DataFolder();
        QVERIFY2(!folder.isEmpty(), "the program found no folder of its own");
        const QString example = folder + QStringLiteral("/example.xlsx");
        const QByteArray before = Digest(example);
        QVERIFY(!before.isEmpty());

        auto program = std::make_unique<Program>();
        program->start();
        Click(program->startScreen(), "読込");
        for (int load = 1; load <= 2; ++load) {
            DialogWalk walk;
            walk.folder = folder;
            walk.example = example;
            QTimer timer;
            timer.setInterval(20);
            connect(&timer, &QTimer::timeout, this, [&walk] { walk.step(); });
            timer.start();
            Click(program->dataLoadScreen(), "読込ボタン");
            timer.stop();

            QVERIFY2(walk.placesFound == 1, qPrintable(QString("load %1: the folder is listed %2 "
                                                               "times among the places")
                                                           .arg(load)
                                                           .arg(walk.placesFound)));
            QVERIFY2(walk.chosen, "the example never showed in the file list");
            QCOMPARE(walk.messages, QStringList{});
            QCOMPARE(program->data().workbookPath, example);
            QCOMPARE(program->data().competitorCount, int16_t(12));
            QVERIFY(program->workbook());
            // Loading reads only: the program's own copy is never written.
            QCOMPARE(Digest(example), before);
            if (load == 1) Click(program->processingScreen(), "終了ボタン");
        }
        program.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

QTEST_MAIN(ExampleFolderTest)
#include "example_folder_qtest.moc"
