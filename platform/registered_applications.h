#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QIcon>
#include <QString>

class QUrl;

// The applications the desktop registers for a type of file, as GIO reads
// them from the desktop entries and mimeapps.list, and their launching.
namespace platform {

class RegisteredApplication {
public:
    // The name the desktop shows for the application.
    QString Name() const;
    // The desktop entry's id ("name.desktop"); "" when it has none.
    QString Id() const;
    // The application's icon from the icon theme or its own file.
    QIcon Icon() const;

    // Starts the application with the file at path (raw file-name bytes).
    // False with *error when it cannot be started.
    bool LaunchFile(const std::string& path, QString* error) const;
    // Starts the application with a URI, which keeps its fragment for
    // applications that take URIs.
    bool LaunchUri(const QString& uri, QString* error) const;

private:
    struct Handle;
    friend std::vector<RegisteredApplication> ApplicationsForFile(const std::string& path,
                                                                  QString* error);
    friend std::optional<RegisteredApplication> DefaultApplicationForType(
        const QString& contentType);
    explicit RegisteredApplication(std::shared_ptr<const Handle> handle);

    std::shared_ptr<const Handle> handle_;
};

// The applications registered for the type of the file at path, the
// desktop's default one first, each once. Empty with *error set when the
// file's type cannot be read; empty without an error when no application
// is registered.
std::vector<RegisteredApplication> ApplicationsForFile(const std::string& path, QString* error);

// The desktop's default application for a content type ("text/html").
std::optional<RegisteredApplication> DefaultApplicationForType(const QString& contentType);

// Opens url in a web browser: the application the desktop registers for
// it (for HTML files, or for the address's scheme), else the system's
// browser command (x-www-browser, or the commands $BROWSER lists). False,
// with *error saying why, when there is no browser or it cannot start.
bool OpenInWebBrowser(const QUrl& url, QString* error);

}  // namespace platform
