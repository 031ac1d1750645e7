#include "time_attribute_dialog.h"

#include <algorithm>
#include <optional>
#include <tuple>

#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "components/help_file.h"
#include "dialogs/time_attribute_change.h"
#include "platform/hourglass_cursor.h"
#include "platform/message_box.h"

namespace {

QDateEdit* MakeDateField(QWidget* parent) {
    auto* field = new QDateEdit(parent);
    field->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    field->setDateRange(EarliestFileDate(), LatestFileDate());
    field->setDate(QDate::currentDate());
    return field;
}

QTimeEdit* MakeTimeField(QWidget* parent) {
    auto* field = new QTimeEdit(parent);
    field->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    field->setTime(QTime(0, 0));
    return field;
}

// Shows a file time in a date field (and a time field); times outside the
// fields' range show the nearest date they can hold.
void ShowTime(platform::FileTime time, QDateEdit* date, QTimeEdit* clock) {
    const QDateTime local = LocalDateTimeOf(time);
    if (!local.isValid()) return;
    date->setDate(std::clamp(local.date(), EarliestFileDate(), LatestFileDate()));
    // Whole seconds, as the field shows them and OK writes them.
    if (clock != nullptr) clock->setTime(QTime(local.time().hour(), local.time().minute(), local.time().second()));
}

QTime TimeShown(const QTimeEdit* clock) { return clock != nullptr ? clock->time() : QTime(0, 0); }

std::optional<platform::FileTime> TimeOf(const QDateEdit* date, const QTimeEdit* clock) {
    return FileTimeFromLocal(date->date(), TimeShown(clock));
}

}  // namespace

TTimeAttributeDialog::TTimeAttributeDialog(QWidget* owner, std::vector<std::string> paths)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), paths_(std::move(paths)) {
    setObjectName(QStringLiteral("TimeAttributeDialog"));
    setWindowTitle(QStringLiteral("日付・時刻・属性の変更"));
    setProperty("HelpContext", 1080);
    BuildControls();
    LoadFirstItem();
    recursive_->setEnabled(AnyFolderSelected());
    CheckBoxClick();
}

void TTimeAttributeDialog::BuildControls() {
    auto* intro = new QLabel(QStringLiteral("オブジェクトの日付・時刻、および属性を変更します。"), this);

    auto* times = new QGroupBox(this);
    auto* timesLayout = new QGridLayout(times);
    changeTimes_ = new QCheckBox(QStringLiteral("更新日時(&T)"), times);
    creationDate_ = MakeDateField(times);
    creationTime_ = MakeTimeField(times);
    lastWriteDate_ = MakeDateField(times);
    lastWriteTime_ = MakeTimeField(times);
    lastAccessDate_ = MakeDateField(times);
    creationNote_ = new QLabel(times);
    creationNote_->setWordWrap(true);
    creationNote_->hide();
    timesLayout->addWidget(changeTimes_, 0, 0, 1, 3);
    timesLayout->addWidget(new QLabel(QStringLiteral("作成日時："), times), 1, 0);
    timesLayout->addWidget(creationDate_, 1, 1);
    timesLayout->addWidget(creationTime_, 1, 2);
    timesLayout->addWidget(creationNote_, 2, 0, 1, 3);
    timesLayout->addWidget(new QLabel(QStringLiteral("更新日時："), times), 3, 0);
    timesLayout->addWidget(lastWriteDate_, 3, 1);
    timesLayout->addWidget(lastWriteTime_, 3, 2);
    timesLayout->addWidget(new QLabel(QStringLiteral("アクセス日："), times), 4, 0);
    timesLayout->addWidget(lastAccessDate_, 4, 1);

    auto* attributes = new QGroupBox(this);
    auto* attributesLayout = new QGridLayout(attributes);
    changeAttributes_ = new QCheckBox(QStringLiteral("属性(&A)"), attributes);
    readOnly_ = new QCheckBox(QStringLiteral("読み取り専用(&R)"), attributes);
    hidden_ = new QCheckBox(QStringLiteral("隠しファイル(&N)"), attributes);
    archive_ = new QCheckBox(QStringLiteral("アーカイブ(&A)"), attributes);
    system_ = new QCheckBox(QStringLiteral("システム(&S)"), attributes);
    attributesLayout->addWidget(changeAttributes_, 0, 0, 1, 2);
    attributesLayout->addWidget(readOnly_, 1, 0);
    attributesLayout->addWidget(hidden_, 1, 1);
    attributesLayout->addWidget(archive_, 2, 0);
    attributesLayout->addWidget(system_, 2, 1);

    recursive_ = new QCheckBox(QStringLiteral("階層下も変更"), this);

    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    buttons->addButton(MakeHelpButton(1080, this), QDialogButtonBox::HelpRole);
    ok_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(changeTimes_, &QCheckBox::clicked, this, &TTimeAttributeDialog::CheckBoxClick);
    connect(changeAttributes_, &QCheckBox::clicked, this, &TTimeAttributeDialog::CheckBoxClick);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(times);
    layout->addWidget(attributes);
    layout->addWidget(recursive_);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TTimeAttributeDialog::LoadFirstItem() {
    std::string reason;
    for (const std::string& path : paths_) {
        if (!platform::CanKeepCreationTime(path, &reason)) {
            creationKept_ = false;
            creationNote_->setText(QString::fromStdString(reason));
            creationNote_->show();
            break;
        }
    }
    platform::FindData data;
    if (paths_.empty() || !platform::ReadFindData(paths_.front(), data)) return;
    ShowTime(platform::CreationTimeOf(paths_.front()), creationDate_, creationTime_);
    ShowTime(data.LastWriteTime, lastWriteDate_, lastWriteTime_);
    ShowTime(data.LastAccessTime, lastAccessDate_, nullptr);
    readOnly_->setChecked(data.Attributes & platform::kAttrReadOnly);
    hidden_->setChecked(data.Attributes & platform::kAttrHidden);
    archive_->setChecked(data.Attributes & platform::kAttrArchive);
    system_->setChecked(data.Attributes & platform::kAttrSystem);
}

bool TTimeAttributeDialog::AnyFolderSelected() const {
    return std::any_of(paths_.begin(), paths_.end(), [](const std::string& path) {
        return (platform::FileAttributesOf(path) & platform::kAttrDirectory) != 0;
    });
}

void TTimeAttributeDialog::CheckBoxClick() {
    const bool times = changeTimes_->isChecked();
    creationDate_->setEnabled(times && creationKept_);
    creationTime_->setEnabled(times && creationKept_);
    for (QWidget* field : {static_cast<QWidget*>(lastWriteDate_), static_cast<QWidget*>(lastWriteTime_),
                           static_cast<QWidget*>(lastAccessDate_)})
        field->setEnabled(times);
    for (QCheckBox* box : {readOnly_, hidden_, archive_, system_}) box->setEnabled(changeAttributes_->isChecked());
    ok_->setEnabled(times || changeAttributes_->isChecked());
}

// The times of the fields, or nothing after saying which one no file can
// carry.
std::optional<platform::FileTimes> TTimeAttributeDialog::TimesShown() {
    platform::FileTimes times;
    const std::tuple<const QDateEdit*, const QTimeEdit*, platform::FileTime*> fields[] = {
        {creationDate_, creationTime_, creationKept_ ? &times.Creation : nullptr},
        {lastWriteDate_, lastWriteTime_, &times.LastWrite},
        {lastAccessDate_, nullptr, &times.LastAccess}};
    for (const auto& [date, clock, time] : fields) {
        if (time == nullptr) continue;
        const std::optional<platform::FileTime> value = TimeOf(date, clock);
        if (!value) {
            const QString shown = QDateTime(date->date(), TimeShown(clock)).toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
            platform::ShowMessage(this, QStringLiteral("%1 はファイルの日時にできません。").arg(shown),
                                  platform::MessageIcon::Error);
            return std::nullopt;
        }
        *time = *value;
    }
    return times;
}

void TTimeAttributeDialog::accept() {
    TTimeAttributeChange change;
    change.ChangeTimes = changeTimes_->isChecked();
    if (change.ChangeTimes) {
        const std::optional<platform::FileTimes> times = TimesShown();
        if (!times) return;
        change.Times = *times;
    }
    change.ChangeAttributes = changeAttributes_->isChecked();
    const std::pair<QCheckBox*, std::uint32_t> boxes[] = {{readOnly_, platform::kAttrReadOnly},
                                                          {hidden_, platform::kAttrHidden},
                                                          {archive_, platform::kAttrArchive},
                                                          {system_, platform::kAttrSystem}};
    for (const auto& [box, bit] : boxes)
        if (box->isChecked()) change.Attributes |= bit;
    change.Recursive = recursive_->isEnabled() && recursive_->isChecked();
    QString failures;
    {
        platform::HourglassCursor busy;
        failures = ChangeFailureMessage(ApplyTimeAttributeChange(paths_, change));
    }
    if (!failures.isEmpty()) platform::ShowMessage(this, failures, platform::MessageIcon::Warning);
    QDialog::accept();
}
