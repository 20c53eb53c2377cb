#include "store/FileMessages.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>

#include "store/Journal.h"

namespace zalvik::store {

QString JudgesFileMessage(const QString& fileName, int systemError, bool reading, bool roster) {
    const QString what =
        roster ? QStringLiteral("審判の一覧ファイル") : QStringLiteral("審判の記録ファイル");
    if (reading)
        return QStringLiteral("%1「%2」を読めません（%3）。")
            .arg(what, fileName,
                 systemError == EACCES || systemError == EPERM
                     ? QStringLiteral("読む権限がありません")
                     : QStringLiteral("エラー番号%1").arg(systemError));
    return (roster ? QStringLiteral("%1「%2」に書き込めません（%3）。変更は画面に残り、次に変更した"
                                    "ときに書き込み直します。")
                   : QStringLiteral("%1「%2」に書き込めません（%3）。審判の入力は受け取らず、"
                                    "審判の電話が送り直します。"))
        .arg(what, fileName, FileWriteReason(systemError));
}

namespace {

using sheet::FileFault;
using sheet::FileProblem;
using sheet::PartDefect;

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

// "ファイル「name」" + rest: every sentence starts by naming the file.
QString AboutFile(const FileFault& f, const QString& rest) {
    return QStringLiteral("ファイル「") + Text(f.fileName) + QStringLiteral("」") + rest;
}

}  // namespace

QString FileWriteReason(int e) {
    switch (e) {
        case EACCES:
        case EPERM:
            return QStringLiteral("フォルダに書き込む権限がありません");
        case EROFS:
            return QStringLiteral("読み取り専用の場所です");
        case ENOSPC:
        case EDQUOT:
            return QStringLiteral("ディスクの空きが足りません");
        case ENOENT:
        case ENOTDIR:
            return QStringLiteral("保存先のフォルダが見つかりません");
        case EEXIST:
            return QStringLiteral("同じ名前のファイルがすでにあります");
        case EISDIR:
            return QStringLiteral("同じ名前のフォルダがあります");
        case ENODEV:
            return QStringLiteral("普通のファイルではありません");
        default:
            return QStringLiteral("書き込みに失敗しました（エラー番号%1）").arg(e);
    }
}

QString TimingLogMessage(const QString& fileName, int systemError, bool reading) {
    if (reading)
        return QStringLiteral("計時の記録ファイル「%1」を読めません（%2）。")
            .arg(fileName, systemError == EACCES || systemError == EPERM
                               ? QStringLiteral("読む権限がありません")
                               : QStringLiteral("エラー番号%1").arg(systemError));
    return QStringLiteral(
               "計時の記録ファイル「%1」に書き込めません（%"
               "2）。受信した時刻は画面に残り、次に受信したときに書き込み直します。")
        .arg(fileName, FileWriteReason(systemError));
}

QString TimingLogFullMessage(const QString& fileName, qint64 capBytes) {
    return QStringLiteral(
               "計時の記録ファイル「%1」が上限の%2MBに達したため、これから受信する時刻は画面に"
               "出ますが、ファイルには残りません。")
        .arg(fileName)
        .arg(capBytes / (1024 * 1024));
}

namespace {

// What is wrong inside a part; inWorksheet words a wrong root element for a worksheet.
QString DefectText(const FileFault& f, bool inWorksheet) {
    switch (f.defect) {
        case PartDefect::Doctype:
            return QStringLiteral("許可されていないDOCTYPE宣言があります");
        case PartDefect::NotXml:
            return QStringLiteral("XMLとして読めません（%1バイト目）").arg(f.byteOffset);
        case PartDefect::NoElement:
            return QStringLiteral("XMLの中身がありません");
        case PartDefect::WrongRoot:
            return inWorksheet ? QStringLiteral("ワークシートの部品の形式が正しくありません")
                               : QStringLiteral("部品の形式が正しくありません");
        case PartDefect::RowNumberOutOfRange:
            return QStringLiteral("行番号「") + Text(f.found) +
                   QStringLiteral("」が範囲（1～1048576）の外にあります");
        case PartDefect::TooManyRows:
            return QStringLiteral("行の数が上限の1048576を超えています");
        case PartDefect::RowOutOfOrder:
            return QStringLiteral("行%1が正しい並び順にありません").arg(f.row);
        case PartDefect::CellReferenceBad:
            return QStringLiteral("セル番地「") + Text(f.found) +
                   QStringLiteral("」が正しくないか範囲の外にあります");
        case PartDefect::CellInOtherRow:
            return QStringLiteral("セル") + Text(f.found) +
                   QStringLiteral("が行%1の中にあります").arg(f.row);
        case PartDefect::TooManyColumns:
            return QStringLiteral("行%1の列の数が上限の16384を超えています").arg(f.row);
        case PartDefect::CellOutOfOrder:
            return QStringLiteral("セル") + Text(sheet::CellName(f.row, f.column)) +
                   QStringLiteral("が正しい並び順にありません");
        case PartDefect::Missing:
            return QStringLiteral("部品がありません");
        case PartDefect::CannotInflate:
            return QStringLiteral("部品を展開できません");
        case PartDefect::None:
            break;
    }
    return {};
}

QString DamagedPartText(const FileFault& f) {
    const QString part = Text(f.part);
    switch (f.defect) {
        case PartDefect::Missing:
            return QStringLiteral("は壊れています（") + part + QStringLiteral("がありません）。");
        case PartDefect::CannotInflate:
            return QStringLiteral("は壊れています（") + part +
                   QStringLiteral("を展開できません）。");
        default:
            return QStringLiteral("は壊れています（") + part + QStringLiteral("：") +
                   DefectText(f, false) + QStringLiteral("）。");
    }
}

}  // namespace

QString FileFaultMessage(const FileFault& f) {
    switch (f.problem) {
        case FileProblem::None:
            return {};
        case FileProblem::NotFound:
            return AboutFile(f, QStringLiteral("が見つかりません。"));
        case FileProblem::ReadDenied:
            return AboutFile(f, QStringLiteral("を読む権限がありません。"));
        case FileProblem::OpenFailed:
            return AboutFile(f,
                             QStringLiteral("を開けません（エラー番号%1）。").arg(f.systemError));
        case FileProblem::NotAFile:
            return AboutFile(f, QStringLiteral("はファイルではありません。"));
        case FileProblem::FileTooLarge:
            return AboutFile(f, QStringLiteral("は大きすぎるため読み込めません。"));
        case FileProblem::OtherFormat:
            return AboutFile(f, QStringLiteral("はxlsx形式のブックではないため、表計算ソフトで開"
                                               "いて「.xlsx」形式で保存し直してから読み込んで"
                                               "ください。"));
        case FileProblem::NotZip:
            return AboutFile(
                f, QStringLiteral("はxlsx形式のブックではありません（zipとして読めません）。"));
        case FileProblem::NotWorkbook:
            return AboutFile(f, QStringLiteral("はxlsx形式のブックではありません（ブック本体の部"
                                               "品がありません）。"));
        case FileProblem::TooManyParts:
            return AboutFile(f, QStringLiteral("は部品の数が多すぎるため読み込めません。"));
        case FileProblem::PartTooLarge:
            return AboutFile(f, QStringLiteral("は大きすぎるため読み込めません（") + Text(f.part) +
                                    QStringLiteral("の展開後の大きさが上限を超えています）。"));
        case FileProblem::Compression:
            return AboutFile(f, QStringLiteral("は読み込めません（") + Text(f.part) +
                                    QStringLiteral("の圧縮率が異常に高く、不正なファイルの疑い"
                                                   "があります）。"));
        case FileProblem::DamagedPart:
            return AboutFile(f, DamagedPartText(f));
        case FileProblem::NoWorksheets:
            return AboutFile(f, QStringLiteral("にはワークシートがありません。"));
        case FileProblem::NoSuchWorksheet:
            return AboutFile(
                f, QStringLiteral("にはワークシート%1がありません。").arg(f.worksheetPosition));
        case FileProblem::WorksheetWithoutPart:
            return AboutFile(f, QStringLiteral("は壊れています（ワークシート「") + Text(f.part) +
                                    QStringLiteral("」の部品がありません）。"));
        case FileProblem::WorksheetUnreadable:
            return AboutFile(f, QStringLiteral("のワークシート「") + Text(f.part) +
                                    QStringLiteral("」は読み込めません（") + DefectText(f, true) +
                                    QStringLiteral("）。"));
        case FileProblem::NoSheetNames:
            return AboutFile(f, QStringLiteral("を作れません（ワークシートの名前がありません）。"));
        case FileProblem::PackingFailed:
            return AboutFile(f, QStringLiteral("を作れませんでした（") + Text(f.systemMessage) +
                                    QStringLiteral("）。"));
        case FileProblem::WriteFailed:
            return AboutFile(f, QStringLiteral("を作れませんでした（") +
                                    FileWriteReason(f.systemError) + QStringLiteral("）。"));
        case FileProblem::BackupFailed:
            return AboutFile(f, QStringLiteral("の控え（.bak）を作れなかったため保存しませんでし"
                                               "た（") +
                                    FileWriteReason(f.systemError) + QStringLiteral("）。"));
    }
    return {};
}

QString SaveMessage(const sheet::SaveResult& saved) {
    const FileFault& f = saved.fault;
    if (saved.ok) {
        if (!saved.savedUnderNewName) return {};
        const std::string& path = saved.savedPath;
        const std::string newName = path.substr(path.find_last_of('/') + 1);
        return AboutFile(f, QStringLiteral("はほかのプログラムで変更されていたため上書きせず、「") +
                                Text(newName) + QStringLiteral("」として保存しました。"));
    }
    // A failed save loses nothing: the workbook keeps every change and the next save writes it.
    const QString kept = QStringLiteral("が、変更は保持しているので次の保存で再び書き込みます。");
    switch (f.problem) {
        case FileProblem::PackingFailed:
            return AboutFile(f, QStringLiteral("を保存できませんでした（ファイルの組み立てに失敗"
                                               "しました：") +
                                    Text(f.systemMessage) + QStringLiteral("）") + kept);
        case FileProblem::BackupFailed:
            return AboutFile(f, QStringLiteral("の控え（.bak）を作れなかったため保存しませんでし"
                                               "た（") +
                                    FileWriteReason(f.systemError) + QStringLiteral("）") + kept);
        case FileProblem::WriteFailed:
            return AboutFile(f, QStringLiteral("を保存できませんでした（") +
                                    FileWriteReason(f.systemError) + QStringLiteral("）") + kept);
        default:
            return AboutFile(f, QStringLiteral("を保存できませんでした") + kept);
    }
}

QString JournalReadingMessage(const JournalReading& r, const QString& fileName) {
    using P = JournalReading::Problem;
    QString problem;
    switch (r.problem) {
        case P::None:
            break;
        case P::Folder:
            problem = QStringLiteral("はファイルではなくフォルダーである");
            break;
        case P::Unreadable:
            problem = QStringLiteral("を読めない");
            break;
        case P::NotAFile:
            problem = QStringLiteral("は普通のファイルではない");
            break;
        case P::TooLarge:
            problem = QStringLiteral("は大きすぎる");
            break;
    }
    if (!problem.isEmpty())
        return QStringLiteral("記録ファイル「%1」%2ため、記録ファイルからの復元は行いません。")
            .arg(fileName, problem);
    if (r.unreadableLines > 0 && r.truncatedLastLine)
        return QStringLiteral(
                   "記録ファイル「%1」の読めない行（%2行）と途中で切れた最後の行は"
                   "使わずに、残りの行を使います。")
            .arg(fileName)
            .arg(r.unreadableLines);
    if (r.unreadableLines > 0)
        return QStringLiteral(
                   "記録ファイル「%1」の読めない行（%2行）は使わずに、残りの行を"
                   "使います。")
            .arg(fileName)
            .arg(r.unreadableLines);
    if (r.truncatedLastLine)
        return QStringLiteral(
                   "記録ファイル「%1」の最後の行は途中で切れているため使わずに、残りの"
                   "行を使います。")
            .arg(fileName);
    return {};
}

QString JournalWriteMessage(const QString& fileName, int systemError) {
    return QStringLiteral(
               "記録ファイル「%1」に書き込めません（%2）が、ブックへの書き込みと保存は"
               "続けます。")
        .arg(fileName, FileWriteReason(systemError));
}

QString LivePageWriteMessage(const QString& path, int systemError) {
    return QStringLiteral("速報ページ「%1」を書けませんでした（%2）。結果の登録は続けられます。")
        .arg(QFileInfo(path).fileName(), FileWriteReason(systemError));
}

QString ResultsPdfWriteMessage(const QString& path, int systemError) {
    return QStringLiteral("PDF「%1」を書き込めませんでした（%2）。")
        .arg(QDir::toNativeSeparators(path), FileWriteReason(systemError));
}

QString HeldOpenMessage(const QString& fileName) {
    return QStringLiteral(
               "ブック「%1」は表計算ソフトで開かれたままのため、表示は古い内容のままです。"
               "表計算ソフトでブックを閉じてから、もう一度開いてください。")
        .arg(fileName);
}

}  // namespace zalvik::store
