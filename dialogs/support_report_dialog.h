#pragma once

#include <QDateTime>
#include <QDialog>
#include <QStringList>

class QPlainTextEdit;
class QPushButton;
class TSysInfo;

// The address support mail goes to, chosen when the program is built.
QString SupportAddress();

// The support report's text: the system environment, then the heading
// under which the user describes the problem. Memory values are read in
// the order free, total, free swap, total swap.
QStringList BuildSupportReport(TSysInfo& sysInfo, const QString& executablePath, const QDateTime& now);

// One memory line: label, then the value right-aligned in ten places.
QString MemoryReportLine(const QString& label, long long value);

// The support report dialog: shows the report and hands it to the user's
// mail program as a new message to the support address.
class TSupportReportDialog : public QDialog {
    Q_OBJECT

public:
    TSupportReportDialog(QWidget* owner, const QString& supportAddress, const QString& executablePath);
    ~TSupportReportDialog() override;

    QPlainTextEdit* Memo() const { return memo_; }
    QPushButton* MailButton() const { return mailButton_; }
    QPushButton* CopyButton() const { return copyButton_; }
    QPushButton* CloseButton() const { return closeButton_; }
    TSysInfo* SysInfo() const { return sysInfo_; }

    // "障害報告 【kelvandor】"
    QString MailSubject() const;

signals:
    // The mail program took the message (true) or none could be started.
    void MailFinished(bool handedOver);

private:
    void ButtonMailClick();
    void MailDone(bool handedOver);

    QString supportAddress_;
    QString executablePath_;
    TSysInfo* sysInfo_;
    QPlainTextEdit* memo_;
    QPushButton* closeButton_;
    QPushButton* mailButton_;
    QPushButton* copyButton_;
};
