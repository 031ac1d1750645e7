#pragma once

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <QDialog>
#include <QString>

class QFormLayout;
class QLabel;

// Open, create shortcut, rename and properties for the shell verbs.
// Paths are raw file-name bytes (std::string); names typed by the user
// arrive as QString and are stored as UTF-8.
namespace platform {

// Opens path with the desktop's default application (xdg-open, started
// apart from this process so that it outlives us). Shows a message and
// answers false when no launcher could be started; whether the launched
// application succeeds is not known here.
bool OpenWithDefaultApplication(const std::string& path, QWidget* owner);

// The link name for target: "name へのショートカット".
std::string ShortcutName(const std::string& target);

// Creates a symbolic link to target's absolute path in folder, named
// ShortcutName, or "... (2)", "... (3)" when taken. Returns the link's
// path, or "" with *error set.
std::string CreateShortcut(const std::string& target, const std::string& folder, QString* error);

// Creates a shortcut for each target in the target's own folder; where
// that folder refuses, offers the desktop folder instead. Failures end in
// one message. Returns the links made.
std::vector<std::string> CreateShortcuts(const std::vector<std::string>& targets, QWidget* owner);

// Why newName cannot name a file ("" when it can): empty, "." or "..",
// containing '/' or NUL, longer than the file system allows.
QString NewNameProblem(const QString& newName);

// Renames the item at path to newName in the same folder; newName is the
// user's edit of the item's shown name (EditedNameBytes). Refuses, with a
// message, protected places (protected_places.h), bad names and names
// already taken (never replacing anything);
// a change of letter case alone works also on case-insensitive file
// systems. Returns the new path ("" on failure; path when unchanged).
std::string RenameItem(const std::string& path, const QString& newName, QWidget* owner);

// A properties window for one or several items: name, type, location,
// link target, size (folders counted on a worker thread, the window stays
// usable and shows the running total), contents, times, permissions and
// owner. Closing the window stops the counting.
class PropertiesDialog final : public QDialog {
    Q_OBJECT
public:
    explicit PropertiesDialog(std::vector<std::string> paths, QWidget* parent = nullptr);
    ~PropertiesDialog() override;

    // The shown value of the row labelled label ("" when there is none).
    QString Value(const QString& label) const;
    // True once the sizes of all folders are fully counted.
    bool SizeComplete() const { return sizeComplete_; }

private:
    struct Totals {
        std::int64_t bytes = 0;
        std::int64_t diskBytes = 0;
        std::int64_t files = 0;
        std::int64_t folders = 0;
    };

    void AddRow(const QString& label, const QString& value);
    void AddSingleItemRows(const std::string& path);
    void AddSeveralItemsRows();
    void ShowTotals(const Totals& totals, bool complete);
    void CountInBackground(Totals start, std::vector<std::string> folders);

    std::vector<std::string> paths_;
    QFormLayout* form_ = nullptr;
    QLabel* sizeLabel_ = nullptr;
    QLabel* diskSizeLabel_ = nullptr;
    QLabel* contentsLabel_ = nullptr;
    bool sizeComplete_ = false;
    std::jthread counter_;
};

// Shows a properties window for paths (not modal; it deletes itself when
// closed) and returns it; null for an empty list.
PropertiesDialog* ShowProperties(const std::vector<std::string>& paths, QWidget* owner);

}  // namespace platform
