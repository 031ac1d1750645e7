#include "support_report_dialog.h"

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "components/help_file.h"
#include "components/sys_info.h"
#include "dialogs/window_placement.h"
#include "platform/mail_composer.h"
#include "platform/message_box.h"
#include "platform/system_facts.h"

namespace {

const QString kDoubleRule(42, QLatin1Char('='));
const QString kRule(42, QLatin1Char('-'));

// The version of a library loaded into the program, with the file it was
// read from.
QString LibraryVersion(TFileInfo& fileInfo, const QString& library) {
    fileInfo.SetFileName(platform::LoadedLibraryPath(library));
    if (fileInfo.FileVersion().isEmpty()) return QString();
    return fileInfo.FileVersion() + QStringLiteral(" (") + fileInfo.OriginalFilename() + QLatin1Char(')');
}

}  // namespace

QString SupportAddress() { return QStringLiteral(KELVANDOR_SUPPORT_ADDRESS); }

QString MemoryReportLine(const QString& label, long long value) {
    return label + QString::asprintf("%10lld", value);
}

QStringList BuildSupportReport(TSysInfo& sysInfo, const QString& executablePath, const QDateTime& now) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize pixels = screen != nullptr ? screen->size() * screen->devicePixelRatio() : QSize();
    const int depth = screen != nullptr ? screen->depth() : 0;
    TFileInfo& fileInfo = sysInfo.FileInfo();

    QStringList lines;
    lines << QStringLiteral("【システム情報】") + now.toString(QStringLiteral("  yyyy/MM/dd hh:mm:ss")) << kDoubleRule
          << QStringLiteral("コンピュータ名 : ") + sysInfo.ComputerName()
          << QStringLiteral("　　ログオン名 : ") + sysInfo.LogOnUserName() << kRule
          << QStringLiteral("  Distribution : ") + sysInfo.PlatForm()
          << QStringLiteral("　　バージョン : ") + sysInfo.Version()
          << QStringLiteral("　　　カーネル : ") + sysInfo.BuildNo()
          << QStringLiteral("　　　　 OS ID : ") + sysInfo.ProductID() << kRule
          << QStringLiteral("    System Dir : ") + sysInfo.WindowsDir()
          << QStringLiteral("   Library Dir : ") + sysInfo.WindowsSystemDir() << kRule
          << QStringLiteral("　　 　CPU種別 : ") + sysInfo.ProcessorType()
          << QStringLiteral("　　画面サイズ : %1 * %2").arg(pixels.width()).arg(pixels.height())
          << QStringLiteral(" 画面の色(bit) : %1").arg(depth) << kRule;
    lines << MemoryReportLine(QStringLiteral("　空メモリ(KB) : "), sysInfo.MemoryFree());
    lines << MemoryReportLine(QStringLiteral("　総メモリ(KB) : "), sysInfo.MemoryTotal());
    lines << MemoryReportLine(QStringLiteral("　空ページ(KB) : "), sysInfo.PageFree());
    lines << MemoryReportLine(QStringLiteral("　総ページ(KB) : "), sysInfo.PageTotal()) << kRule;
    fileInfo.SetFileName(executablePath);
    lines << QFileInfo(executablePath).fileName() + QStringLiteral(" : ") + fileInfo.FileVersion() << kRule;
    lines << QStringLiteral("    Qt Widgets : ") + LibraryVersion(fileInfo, QStringLiteral("libQt6Widgets"))
          << QStringLiteral("      Qt Print : ") + LibraryVersion(fileInfo, QStringLiteral("libQt6PrintSupport"))
          << QStringLiteral("        Qt Gui : ") + LibraryVersion(fileInfo, QStringLiteral("libQt6Gui"))
          << QStringLiteral("       Qt Core : ") + LibraryVersion(fileInfo, QStringLiteral("libQt6Core"))
          << QStringLiteral("         glibc : ") + platform::CLibraryVersion()
          << kDoubleRule << QStringLiteral("【障害内容】") << QString();
    return lines;
}

TSupportReportDialog::TSupportReportDialog(QWidget* owner, const QString& supportAddress, const QString& executablePath)
    : QDialog(owner), supportAddress_(supportAddress), executablePath_(executablePath),
      sysInfo_(new TSysInfo(this)), memo_(new QPlainTextEdit(this)),
      closeButton_(new QPushButton(QStringLiteral("閉じる(&C)"), this)),
      mailButton_(new QPushButton(QStringLiteral("障害報告(&Q)"), this)),
      copyButton_(new QPushButton(QStringLiteral("コピー(&P)"), this)) {
    setObjectName(QStringLiteral("SupportReportDialog"));
    setWindowTitle(QStringLiteral("サポート情報"));
    sysInfo_->setObjectName(QStringLiteral("SysInfo"));
    sysInfo_->SetMemoryStatusKind(mkKB);

    memo_->setObjectName(QStringLiteral("Memo"));
    memo_->setReadOnly(true);
    memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Labels line up in a font where a full-width character is two
    // half-width ones.
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setFamilies({QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP"), font.family()});
    memo_->setFont(font);
    memo_->setPlainText(BuildSupportReport(*sysInfo_, executablePath_, QDateTime::currentDateTime()).join(u'\n'));

    closeButton_->setDefault(true);
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::reject);
    connect(mailButton_, &QPushButton::clicked, this, [this] { ButtonMailClick(); });
    connect(copyButton_, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(memo_->toPlainText()); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(closeButton_);
    buttons->addWidget(mailButton_);
    buttons->addWidget(copyButton_);
    buttons->addWidget(MakeHelpButton(9030, this));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("システム環境を取得して、障害報告のメールを送信します。"), this));
    layout->addWidget(memo_, 1);
    layout->addLayout(buttons);
    resize(520, 480);
    CentreOnScreen(this);
}

TSupportReportDialog::~TSupportReportDialog() = default;

QString TSupportReportDialog::MailSubject() const {
    return QStringLiteral("障害報告 【") + QFileInfo(executablePath_).fileName() + QStringLiteral("】");
}

void TSupportReportDialog::ButtonMailClick() {
    // One message at a time: the button comes back when the mail program
    // answered.
    mailButton_->setEnabled(false);
    platform::ComposeMail(supportAddress_, MailSubject(), memo_->toPlainText(), this,
                          [this](bool handedOver) { MailDone(handedOver); });
}

void TSupportReportDialog::MailDone(bool handedOver) {
    mailButton_->setEnabled(true);
    if (!handedOver)
        platform::ShowMessage(this, QStringLiteral("メールの転送エラーが発生。"), platform::MessageIcon::Error);
    emit MailFinished(handedOver);
}
