#pragma once

#include <string>

#include <QDialog>

class QLineEdit;
class QPushButton;
class QToolButton;
class QTreeWidget;
class TSusiePlugs;

// Chooses the folder the image plug-ins are loaded from. Lists the
// plug-ins of the folder shown with what each reports about itself; only
// "更 新(&U)" hands the folder to the plug-in host.
class TPluginFolderDialog : public QDialog {
    Q_OBJECT

public:
    // host: the plug-in registry in use; its folder is shown first.
    TPluginFolderDialog(QWidget* owner, TSusiePlugs& host);

    QLineEdit* FolderEdit() const { return folderEdit_; }
    QToolButton* BrowseButton() const { return browse_; }
    QTreeWidget* PluginList() const { return list_; }
    QPushButton* UpdateButton() const { return update_; }

    // Shows folder and lists its plug-ins, through a registry of its own
    // that loads and unloads each one.
    void SetFolder(const std::string& folder);

    void accept() override;

private:
    void Browse();
    void FillList();

    TSusiePlugs& host_;
    std::string folder_;
    QLineEdit* folderEdit_;
    QToolButton* browse_;
    QTreeWidget* list_;
    QPushButton* update_;
};
