#pragma once

#include <string>
#include <vector>

#include <QDialog>

#include "platform/registered_applications.h"

class QListWidget;
class QPushButton;

// The chooser of the application that opens a file: the applications the
// desktop registers for the file's type with their icons, the default one
// first and selected.
class TOpenWithDialog final : public QDialog {
    Q_OBJECT
public:
    TOpenWithDialog(const QString& fileName, std::vector<platform::RegisteredApplication> applications,
                    QWidget* owner);

    // The application selected in the list, or null.
    const platform::RegisteredApplication* Chosen() const;

    QListWidget* List() const { return list_; }

private:
    std::vector<platform::RegisteredApplication> applications_;
    QListWidget* list_ = nullptr;
    QPushButton* ok_ = nullptr;
};

// Lets the user choose one of the applications registered for the file at
// path and starts it with the file. When none is registered or the chosen
// one cannot be started, says "アプリケーションの関連付けを行えません。".
// True when an application was started; false also when the user cancels.
bool OpenFileWith(const std::string& path, QWidget* owner);
