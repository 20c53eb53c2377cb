#include "race/JudgeSetupDialog.h"

#include <qrencode.h>

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Screens.h"
#include "output/LiveServer.h"
#include "race/JudgeBoard.h"
#include "ui/Dialogs.h"

namespace zalvik {

namespace {

constexpr int kQrModulePixels = 5;
constexpr int kQrQuietModules = 4;

QString ListText(const judges::Judge& j) {
    QStringList gates;
    for (int g : j.gates) gates << QString::number(g);
    QString text = QStringLiteral("%1　%2").arg(j.id).arg(
        j.name.isEmpty() ? QStringLiteral("（名前なし）") : j.name);
    text += gates.isEmpty() ? QStringLiteral("　ゲートなし")
                            : QStringLiteral("　ゲート") + gates.join(u',');
    if (j.revoked) text += QStringLiteral("　無効");
    return text;
}

}  // namespace

QString JudgePageUrl(Program& program) {
    const LiveServer& server = program.liveServer();
    if (!server.isRunning()) return {};
    return LiveUrl(LanAddress(), server.port()) + QStringLiteral("judge");
}

QImage QrImage(const QString& text, int modulePixels) {
    const QByteArray utf8 = text.toUtf8();
    QRcode* code = QRcode_encodeString(utf8.constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1);
    if (!code) return {};
    const int side = (code->width + 2 * kQrQuietModules) * modulePixels;
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int y = 0; y < code->width; ++y)
        for (int x = 0; x < code->width; ++x)
            if (code->data[y * code->width + x] & 1)
                painter.fillRect((x + kQrQuietModules) * modulePixels,
                                 (y + kQrQuietModules) * modulePixels, modulePixels, modulePixels,
                                 Qt::black);
    painter.end();
    QRcode_free(code);
    return image;
}

JudgeSetupDialog::JudgeSetupDialog(Program& program, QWidget* parent)
    : QDialog(parent), program_(program) {
    setObjectName(QStringLiteral("審判設定画面"));
    setWindowTitle(QStringLiteral("審判の設定"));

    auto* layout = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    審判一覧_ = new QListWidget(this);
    審判一覧_->setObjectName(QStringLiteral("審判一覧"));
    審判一覧_->setMinimumWidth(220);
    left->addWidget(審判一覧_);
    審判追加ボタン_ = new QPushButton(QStringLiteral("審判を追加"), this);
    審判追加ボタン_->setObjectName(QStringLiteral("審判追加ボタン"));
    left->addWidget(審判追加ボタン_);
    layout->addLayout(left);

    auto* right = new QVBoxLayout;
    auto* form = new QGridLayout;
    form->addWidget(new QLabel(QStringLiteral("名前"), this), 0, 0);
    審判名_ = new QLineEdit(this);
    審判名_->setObjectName(QStringLiteral("審判名"));
    form->addWidget(審判名_, 0, 1);
    form->addWidget(new QLabel(QStringLiteral("ゲート"), this), 1, 0, Qt::AlignTop);
    auto* gates = new QGridLayout;
    for (int g = 0; g < 12; ++g) {
        審判ゲート_[g] = new QCheckBox(QString::number(g + 1), this);
        審判ゲート_[g]->setObjectName(QStringLiteral("審判ゲート(%1)").arg(g));
        gates->addWidget(審判ゲート_[g], g / 6, g % 6);
        connect(審判ゲート_[g], &QCheckBox::toggled, this, [this] {
            if (showing_ || selectedId() == 0) return;
            QList<int> chosen;
            for (int k = 0; k < 12; ++k)
                if (審判ゲート_[k]->isChecked()) chosen << k + 1;
            program_.judgeBoard().setJudgeGates(selectedId(), chosen);
        });
    }
    form->addLayout(gates, 1, 1);
    form->addWidget(new QLabel(QStringLiteral("PIN"), this), 2, 0);
    審判PIN_ = new QLabel(this);
    審判PIN_->setObjectName(QStringLiteral("審判PIN"));
    審判PIN_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont big = 審判PIN_->font();
    big.setPointSizeF(big.pointSizeF() * 2.5);
    big.setBold(true);
    審判PIN_->setFont(big);
    form->addWidget(審判PIN_, 2, 1);
    right->addLayout(form);

    審判QR_ = new QLabel(this);
    審判QR_->setObjectName(QStringLiteral("審判QR"));
    審判QR_->setAlignment(Qt::AlignCenter);
    right->addWidget(審判QR_);
    審判URL_ = new QLabel(this);
    審判URL_->setObjectName(QStringLiteral("審判URL"));
    審判URL_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    審判URL_->setAlignment(Qt::AlignCenter);
    right->addWidget(審判URL_);

    審判公開メモ_ = new QLabel(
        QStringLiteral("速報を公開していないため、審判の電話は本部につながりません。"), this);
    審判公開メモ_->setObjectName(QStringLiteral("審判公開メモ"));
    審判公開メモ_->setWordWrap(true);
    審判公開メモ_->setStyleSheet(QStringLiteral("color: #a00000;"));
    right->addWidget(審判公開メモ_);
    審判公開ボタン_ = new QPushButton(QStringLiteral("速報を公開する"), this);
    審判公開ボタン_->setObjectName(QStringLiteral("審判公開ボタン"));
    right->addWidget(審判公開ボタン_);
    審判状態_ = new QLabel(this);
    審判状態_->setObjectName(QStringLiteral("審判状態"));
    審判状態_->setWordWrap(true);
    審判状態_->setStyleSheet(QStringLiteral("color: #a00000;"));
    right->addWidget(審判状態_);

    審判無効ボタン_ = new QPushButton(QStringLiteral("無効にする"), this);
    審判無効ボタン_->setObjectName(QStringLiteral("審判無効ボタン"));
    right->addWidget(審判無効ボタン_);
    right->addStretch();
    layout->addLayout(right);

    judges::JudgeBoard& board = program_.judgeBoard();
    connect(審判追加ボタン_, &QPushButton::clicked, this, [this] {
        const judges::Judge added = program_.judgeBoard().addJudge();
        for (int row = 0; row < 審判一覧_->count(); ++row)
            if (審判一覧_->item(row)->data(Qt::UserRole).toInt() == added.id)
                審判一覧_->setCurrentRow(row);
        審判名_->setFocus();
    });
    connect(審判名_, &QLineEdit::textEdited, this, [this](const QString& name) {
        if (selectedId() != 0) program_.judgeBoard().setJudgeName(selectedId(), name.trimmed());
    });
    connect(審判無効ボタン_, &QPushButton::clicked, this, [this] {
        if (selectedId() != 0) program_.judgeBoard().revokeJudge(selectedId());
    });
    connect(審判公開ボタン_, &QPushButton::clicked, this, [this] {
        if (program_.startPublishing() == 0)
            ui::ShowMessage(this, QStringLiteral("ポート%1から%2までがすべて使われているため、"
                                                 "速報を公開できませんでした。")
                                      .arg(LiveServer::kFirstPort)
                                      .arg(LiveServer::kFirstPort + LiveServer::kPortsTried - 1));
        showPublishing();
    });
    connect(審判一覧_, &QListWidget::currentRowChanged, this, [this] { showSelected(); });
    connect(&board, &judges::JudgeBoard::judgesChanged, this, [this] { showJudges(); });
    showJudges();
    showPublishing();
}

int JudgeSetupDialog::selectedId() const {
    const QListWidgetItem* item = 審判一覧_->currentItem();
    return item ? item->data(Qt::UserRole).toInt() : 0;
}

void JudgeSetupDialog::showJudges() {
    const int keep = selectedId();
    showing_ = true;
    審判一覧_->clear();
    for (const judges::Judge& j : program_.judgeBoard().judges()) {
        auto* item = new QListWidgetItem(ListText(j), 審判一覧_);
        item->setData(Qt::UserRole, j.id);
        if (j.id == keep) 審判一覧_->setCurrentItem(item);
    }
    showing_ = false;
    showSelected();
    審判状態_->setText(program_.judgeBoard().problem());
    審判状態_->setVisible(!審判状態_->text().isEmpty());
}

void JudgeSetupDialog::showSelected() {
    showing_ = true;
    const int id = selectedId();
    judges::Judge judge;
    for (const judges::Judge& j : program_.judgeBoard().judges())
        if (j.id == id) judge = j;
    const bool active = id != 0 && !judge.revoked;
    if (審判名_->text() != judge.name) 審判名_->setText(judge.name);
    審判名_->setEnabled(active);
    const int used = program_.judgeBoard().race().gateCount;
    for (int g = 0; g < 12; ++g) {
        審判ゲート_[g]->setChecked(judge.gates.contains(g + 1));
        審判ゲート_[g]->setVisible(g < used);
        審判ゲート_[g]->setEnabled(active);
    }
    審判PIN_->setText(id == 0 ? QString() : judge.revoked ? QStringLiteral("無効") : judge.pin);
    審判無効ボタン_->setEnabled(active);
    showing_ = false;
}

void JudgeSetupDialog::showPublishing() {
    const QString url = JudgePageUrl(program_);
    審判公開メモ_->setVisible(url.isEmpty());
    審判公開ボタン_->setVisible(url.isEmpty());
    審判URL_->setText(url);
    審判QR_->setPixmap(url.isEmpty() ? QPixmap()
                                     : QPixmap::fromImage(QrImage(url, kQrModulePixels)));
    審判QR_->setVisible(!url.isEmpty());
}

}  // namespace zalvik
