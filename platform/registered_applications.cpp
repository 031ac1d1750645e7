// GIO goes first: its headers use a word that Qt's headers define as a macro.
#include <gio/gio.h>

#include "registered_applications.h"

#include <cerrno>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include "platform/file_operations.h"

namespace platform {
namespace {

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, ObjectUnref>;

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

struct CharsFree {
    void operator()(gchar* text) const { g_free(text); }
};
using CharsPtr = std::unique_ptr<gchar, CharsFree>;

// A list that owns a reference to each of its objects.
struct ObjectListFree {
    void operator()(GList* list) const { g_list_free_full(list, g_object_unref); }
};
using ObjectList = std::unique_ptr<GList, ObjectListFree>;

// GIO's messages are English here; the user reads Japanese.
QString ErrorText(const ErrorPtr& error, const QString& fallback) {
    if (!error || error->domain != G_IO_ERROR) return fallback;
    switch (error->code) {
        case G_IO_ERROR_NOT_FOUND: return FileErrorText(ENOENT);
        case G_IO_ERROR_PERMISSION_DENIED: return FileErrorText(EACCES);
        case G_IO_ERROR_IS_DIRECTORY: return FileErrorText(EISDIR);
        case G_IO_ERROR_FILENAME_TOO_LONG: return FileErrorText(ENAMETOOLONG);
        case G_IO_ERROR_TOO_MANY_LINKS: return FileErrorText(ELOOP);
        default: return fallback;
    }
}

// The content type GIO gives the file, by name and by content; "" with
// *error when the file cannot be read.
QString ContentTypeOf(const std::string& path, QString* error) {
    GObjectPtr<GFile> file(g_file_new_for_path(path.c_str()));
    GError* failure = nullptr;
    GObjectPtr<GFileInfo> info(g_file_query_info(file.get(), G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
                                                 G_FILE_QUERY_INFO_NONE, nullptr, &failure));
    const ErrorPtr owned(failure);
    const char* type = info ? g_file_info_get_content_type(info.get()) : nullptr;
    if (type == nullptr) {
        *error = ErrorText(owned, QStringLiteral("ファイルの種類を読み取れません。"));
        return QString();
    }
    return QString::fromUtf8(type);
}

QIcon ThemedIcon(GThemedIcon* icon) {
    for (const gchar* const* name = g_themed_icon_get_names(icon); name != nullptr && *name != nullptr;
         ++name) {
        const QString themeName = QString::fromUtf8(*name);
        if (QIcon::hasThemeIcon(themeName)) return QIcon::fromTheme(themeName);
    }
    return QIcon();
}

QIcon FileIcon(GFileIcon* icon) {
    const CharsPtr path(g_file_get_path(g_file_icon_get_file(icon)));
    return path ? QIcon(QFile::decodeName(path.get())) : QIcon();
}

// GIO starts programs through a helper, so it reports success even when
// the entry's program has gone since the entry was read; look first.
bool ProgramPresent(GAppInfo* info, QString* error) {
    const char* executable = g_app_info_get_executable(info);
    if (executable == nullptr || *executable == '\0') return true;
    if (CharsPtr(g_find_program_in_path(executable))) return true;
    *error = QStringLiteral("プログラム「%1」が見つかりません。").arg(QString::fromUtf8(executable));
    return false;
}

}  // namespace

struct RegisteredApplication::Handle {
    GObjectPtr<GAppInfo> Info;
};

RegisteredApplication::RegisteredApplication(std::shared_ptr<const Handle> handle)
    : handle_(std::move(handle)) {}

QString RegisteredApplication::Name() const {
    return QString::fromUtf8(g_app_info_get_name(handle_->Info.get()));
}

QString RegisteredApplication::Id() const {
    const char* id = g_app_info_get_id(handle_->Info.get());
    return id != nullptr ? QString::fromUtf8(id) : QString();
}

QIcon RegisteredApplication::Icon() const {
    GIcon* icon = g_app_info_get_icon(handle_->Info.get());
    QIcon result;
    if (icon != nullptr && G_IS_THEMED_ICON(icon)) result = ThemedIcon(G_THEMED_ICON(icon));
    if (icon != nullptr && G_IS_FILE_ICON(icon)) result = FileIcon(G_FILE_ICON(icon));
    return result.isNull() ? QIcon::fromTheme(QStringLiteral("application-x-executable")) : result;
}

bool RegisteredApplication::LaunchFile(const std::string& path, QString* error) const {
    if (!ProgramPresent(handle_->Info.get(), error)) return false;
    GObjectPtr<GFile> file(g_file_new_for_path(path.c_str()));
    GList files{file.get(), nullptr, nullptr};
    GError* failure = nullptr;
    const bool launched = g_app_info_launch(handle_->Info.get(), &files, nullptr, &failure);
    const ErrorPtr owned(failure);
    if (!launched) *error = ErrorText(owned, QStringLiteral("アプリケーションを起動できません。"));
    return launched;
}

bool RegisteredApplication::LaunchUri(const QString& uri, QString* error) const {
    if (!ProgramPresent(handle_->Info.get(), error)) return false;
    QByteArray encoded = uri.toUtf8();
    GList uris{encoded.data(), nullptr, nullptr};
    GError* failure = nullptr;
    const bool launched = g_app_info_launch_uris(handle_->Info.get(), &uris, nullptr, &failure);
    const ErrorPtr owned(failure);
    if (!launched) *error = ErrorText(owned, QStringLiteral("アプリケーションを起動できません。"));
    return launched;
}

std::vector<RegisteredApplication> ApplicationsForFile(const std::string& path, QString* error) {
    const QString type = ContentTypeOf(path, error);
    if (type.isEmpty()) return {};
    const QByteArray typeName = type.toUtf8();
    std::vector<RegisteredApplication> applications;
    const auto add = [&applications](GAppInfo* info) {
        for (const RegisteredApplication& known : applications)
            if (g_app_info_equal(known.handle_->Info.get(), info)) return;
        applications.push_back(RegisteredApplication(
            std::make_shared<const RegisteredApplication::Handle>(RegisteredApplication::Handle{GObjectPtr<GAppInfo>(static_cast<GAppInfo*>(g_object_ref(info)))})));
    };
    const GObjectPtr<GAppInfo> preferred(g_app_info_get_default_for_type(typeName.constData(), FALSE));
    if (preferred) add(preferred.get());
    const ObjectList all(g_app_info_get_all_for_type(typeName.constData()));
    for (GList* item = all.get(); item != nullptr; item = item->next)
        add(static_cast<GAppInfo*>(item->data));
    return applications;
}

std::optional<RegisteredApplication> DefaultApplicationForType(const QString& contentType) {
    GAppInfo* info = g_app_info_get_default_for_type(contentType.toUtf8().constData(), FALSE);
    if (info == nullptr) return std::nullopt;
    return RegisteredApplication(std::make_shared<const RegisteredApplication::Handle>(RegisteredApplication::Handle{GObjectPtr<GAppInfo>(info)}));
}

namespace {

// The browser commands of the system: Debian's alternative for graphical
// browsers, then the user's own list ("firefox:chromium %s").
bool StartBrowserCommand(const QUrl& url) {
    QStringList commands{QStringLiteral("x-www-browser")};
    commands += qEnvironmentVariable("BROWSER").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    const QString address = QString::fromUtf8(url.toEncoded());
    for (const QString& command : commands) {
        QStringList words = QProcess::splitCommand(command);
        if (words.isEmpty()) continue;
        const QString program = QStandardPaths::findExecutable(words.takeFirst());
        if (program.isEmpty()) continue;
        if (!words.contains(QStringLiteral("%s"))) words << QStringLiteral("%s");
        words.replaceInStrings(QStringLiteral("%s"), address);
        if (QProcess::startDetached(program, words)) return true;
    }
    return false;
}

}  // namespace

bool OpenInWebBrowser(const QUrl& url, QString* error) {
    const QString type = url.isLocalFile() ? QStringLiteral("text/html") : QStringLiteral("x-scheme-handler/") + url.scheme();
    const std::optional<RegisteredApplication> registered = DefaultApplicationForType(type);
    QString launchError;
    if (registered && registered->LaunchUri(QString::fromUtf8(url.toEncoded()), &launchError)) return true;
    if (StartBrowserCommand(url)) return true;
    *error = registered ? QStringLiteral("既定のアプリケーション「%1」を起動できず、ほかのウェブ ブラウザも見つかりません。")
                              .arg(registered->Name())
                        : QStringLiteral("ウェブ ブラウザが見つかりません。");
    return false;
}

}  // namespace platform
