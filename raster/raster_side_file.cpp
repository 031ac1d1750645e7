// The view's part of the side file: the questions before one is replaced,
// the messages when one cannot be read or written, and the tree rebuilt
// after a read. The document does the reading and writing.
#include <QFileInfo>

#include "platform/file_names.h"
#include "platform/hourglass_cursor.h"
#include "platform/message_box.h"
#include "platform/path_text.h"
#include "raster/raster.h"

namespace {

// The question before a side file is replaced. When the file could not be
// read completely, some of its markers are not in the view: the question
// says so, since writing now would replace them by what the view holds.
QString OverwriteQuestion(const QString& path, bool readCompletely) {
    const QString question = QStringLiteral("データを上書きしますか？");
    if (readCompletely) return question;
    return QStringLiteral("注釈ファイル「%1」は最後まで読み込めなかったため、ファイルの注釈の一部または"
                          "すべてが表示されていません。上書きすると、それらの注釈は失われます。\n%2")
        .arg(QFileInfo(path).fileName(), question);
}

// True when there is no file at path, or the user agreed to replace it.
bool MayReplace(QWidget* owner, const QString& path, bool readCompletely) {
    return !platform::ItemExists(platform::PathBytes(path)) ||
           platform::ShowMessage(owner, OverwriteQuestion(path, readCompletely), platform::MessageIcon::Question,
                                 platform::MessageButtons::YesNo) == platform::MessageResult::Yes;
}

void ReportFileError(QWidget* owner, const QString& what, const QString& path, const QString& reason) {
    platform::ShowMessage(owner, QStringLiteral("%1\n%2\n%3").arg(what, path, reason),
                          platform::MessageIcon::Error);
}

}  // namespace

QString TRaster::AnnotationPath(const QString& imagePath) { return TRasterDocument::AnnotationPath(imagePath); }

bool TRaster::SaveAnnotations(const QString& path) {
    if (!MayReplace(this, path, !document_->AnnotationsIncomplete())) return false;
    const platform::HourglassCursor hourglass;
    const QString failure = document_->WriteAnnotations(path);
    if (!failure.isEmpty()) {
        ReportFileError(this, QStringLiteral("注釈ファイルを保存できませんでした。"), path, failure);
        return false;
    }
    return true;
}

void TRaster::SaveAnnotationsAtClose() {
    const QString path = AnnotationPath(FileName());
    // Declining keeps the old side file; the changes go with the image.
    if (!MayReplace(this, path, !document_->AnnotationsIncomplete())) return;
    QString failure;
    QString recoveryPath;
    QString recoveryFailure;
    {
        const platform::HourglassCursor hourglass;
        failure = document_->WriteAnnotations(path);
        if (failure.isEmpty()) return;
        recoveryFailure = document_->WriteRecoveryFile(path, recoveryPath);
    }
    const QString notSaved =
        QStringLiteral("注釈ファイルを保存できませんでした。\n%1\n%2\n\n").arg(path, failure);
    if (recoveryFailure.isEmpty()) {
        platform::ShowMessage(this,
                              notSaved + QStringLiteral("注釈は次のファイルに退避しました。名前を「%1」に変えて"
                                                        "画像と同じフォルダーに置くと、画像の注釈として読み込まれます。\n%2")
                                             .arg(QFileInfo(path).fileName(), recoveryPath),
                              platform::MessageIcon::Warning);
        return;
    }
    platform::ShowMessage(this,
                          notSaved + QStringLiteral("退避用のファイルにも保存できなかったため、この画像の注釈は"
                                                    "失われました。\n%1\n%2")
                                         .arg(recoveryPath, recoveryFailure),
                          platform::MessageIcon::Error);
}

bool TRaster::LoadAnnotations(const QString& path) {
    QString failure;
    const bool read = document_->ReadAnnotations(path, failure);
    if (!failure.isEmpty())
        ReportFileError(this, QStringLiteral("注釈ファイルを読み込めませんでした。"), path, failure);
    RebuildTreeView();
    return read;
}
