#include "version_panel.h"

#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "components/program_version.h"
#include "platform/user_account.h"

static void RegisterApplicationResources() { Q_INIT_RESOURCE(application); }

namespace {

const QColor kSkyBlue(0xA6, 0xCA, 0xF0);
const QColor kNavy(0x00, 0x00, 0x80);
const QColor kRed(0xFF, 0x00, 0x00);
constexpr int kOwnerPanelWidth = 309;
constexpr int kVersionLabelWidth = 90;

void SetTextColor(QLabel* label, const QColor& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

}  // namespace

QString RegisteredOwnerText(const QString& fullName) {
    return fullName.isEmpty() ? QStringLiteral("Known User") : fullName;
}

TVersionPanel::TVersionPanel(QFrame::Shadow shadow, QWidget* parent)
    : QFrame(parent), image_(new QLabel(this)), productLabel_(new QLabel(ProgramName(), this)),
      labelVer_(new QLabel(QStringLiteral("Version ") + ProgramVersion(), this)),
      labelReg_(new QLabel(QStringLiteral("このプログラムは次の方にライセンスされています。"), this)),
      panelReg_(new QLabel(RegisteredOwnerText(platform::UserFullName()), this)),
      notice_(new QLabel(QStringLiteral("© 2026 Kelvandor"), this)) {
    RegisterApplicationResources();
    setFrameStyle(QFrame::Panel | shadow);
    setLineWidth(2);
    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window, kSkyBlue);
    setPalette(background);

    image_->setObjectName(QStringLiteral("Image"));
    image_->setPixmap(QIcon(QStringLiteral(":/application/kelvandor.svg")).pixmap(32, 32));
    image_->setFixedSize(32, 32);
    image_->setAlignment(Qt::AlignCenter);

    productLabel_->setObjectName(QStringLiteral("ProductLabel()"));
    QFont title(QStringLiteral("Arial Black"));
    title.setPixelSize(24);
    title.setWeight(QFont::Black);
    productLabel_->setFont(title);
    SetTextColor(productLabel_, kNavy);
    productLabel_->setAlignment(Qt::AlignCenter);

    labelVer_->setObjectName(QStringLiteral("Label_Ver"));
    labelVer_->setMinimumWidth(kVersionLabelWidth);
    labelVer_->setAlignment(Qt::AlignCenter);
    SetTextColor(labelVer_, kRed);

    auto* bevel = new QFrame(this);
    bevel->setFrameStyle(QFrame::HLine | QFrame::Sunken);

    labelReg_->setObjectName(QStringLiteral("Label_Reg"));
    panelReg_->setObjectName(QStringLiteral("Panel_Reg"));
    panelReg_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panelReg_->setFixedWidth(kOwnerPanelWidth);
    panelReg_->setAlignment(Qt::AlignCenter);
    panelReg_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    notice_->setObjectName(QStringLiteral("Notice"));
    notice_->setAlignment(Qt::AlignCenter);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 12, 18, 10);
    layout->addWidget(image_, 0, Qt::AlignHCenter);
    layout->addWidget(productLabel_);
    layout->addWidget(labelVer_, 0, Qt::AlignHCenter);
    layout->addWidget(bevel);
    layout->addWidget(labelReg_);
    layout->addWidget(panelReg_, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    layout->addWidget(notice_);
}
