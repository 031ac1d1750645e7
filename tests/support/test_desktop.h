#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <QColor>
#include <QImage>

#include "support/event_wait.h"
#include "support/temp_folder.h"

// Desktop entries, MIME types and mimeapps.list of the test's own, in
// temporary XDG folders, so that the applications GIO finds are known.
// GIO reads these folders once per process, so the desktop is made once,
// before the first use, and kept for the whole test program:
// - "*.kvtest" files (application/x-kelvandor-test): the applications
//   "viewer" and "editor", the editor the default;
// - "*.kvgone" files: the application "vanishing", whose program the test
//   may remove;
// - "*.kvorphan" files: no application;
// - text/html: the application "browser", the default.
// Each application writes the argument it was started with to its record.
class TestDesktop {
public:
    static const TestDesktop& Installed() {
        static const TestDesktop desktop;
        return desktop;
    }

    // The file where application writes its argument when started.
    std::string RecordOf(const std::string& application) const {
        return folder_.File(application + ".record");
    }
    // The program the desktop entry of application starts.
    std::string ProgramOf(const std::string& application) const {
        return folder_.File(application + ".sh");
    }
    // A folder for the test's own files.
    std::string Files() const { return folder_.File("files"); }
    // Writes a small file of that name into Files() and returns its path.
    std::string MakeFile(const std::string& name) const {
        return folder_.Write("files/" + name, "content");
    }

    // Forgets what application was started with before.
    void ClearRecord(const std::string& application) const {
        std::filesystem::remove(RecordOf(application));
    }
    // The argument application was started with, once it has run ("" when
    // it did not run).
    std::string AwaitRecord(const std::string& application) const {
        const std::string record = RecordOf(application);
        ProcessEventsUntil([&] { return std::filesystem::exists(record); });
        const std::vector<unsigned char> bytes = ReadFileBytes(record);
        return std::string(bytes.begin(), bytes.end());
    }

private:
    TestDesktop() {
        for (const char* sub : {"data/applications", "data/mime/packages", "config", "config-dirs", "files"})
            std::filesystem::create_directories(folder_.File(sub));
        folder_.Write("data/mime/packages/kelvandor-test.xml", MimeTypes());
        RunCommand("update-mime-database '" + folder_.File("data/mime") + "' >/dev/null 2>&1");
        QImage icon(16, 16, QImage::Format_RGB32);
        icon.fill(QColor(40, 90, 160));
        icon.save(QString::fromStdString(folder_.File("editor.png")));
        AddApplication("viewer", "Kelvandor テスト ビューア", "application/x-kelvandor-test", "%f",
                       "image-x-generic");
        AddApplication("editor", "Kelvandor テスト エディタ", "application/x-kelvandor-test", "%f",
                       folder_.File("editor.png"));
        AddApplication("vanishing", "Kelvandor 消える アプリ", "application/x-kelvandor-gone", "%f",
                       "image-x-generic");
        AddApplication("browser", "Kelvandor テスト ブラウザ", "text/html", "%u", "text-html");
        // What the desktop's database tool makes of the entries' types.
        folder_.Write("data/applications/mimeinfo.cache",
                      "[MIME Cache]\n"
                      "application/x-kelvandor-test=kelvandor-test-viewer.desktop;"
                      "kelvandor-test-editor.desktop;\n"
                      "application/x-kelvandor-gone=kelvandor-test-vanishing.desktop;\n"
                      "text/html=kelvandor-test-browser.desktop;\n");
        folder_.Write("config/mimeapps.list",
                      "[Default Applications]\n"
                      "application/x-kelvandor-test=kelvandor-test-editor.desktop\n"
                      "text/html=kelvandor-test-browser.desktop\n");
        setenv("XDG_DATA_HOME", folder_.File("data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", folder_.File("config").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", folder_.File("config-dirs").c_str(), 1);
    }

    static std::string MimeTypes() {
        std::string types =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
        for (const char* kind : {"test", "gone", "orphan"})
            types += std::string("<mime-type type=\"application/x-kelvandor-") + kind +
                     "\"><comment>Kelvandor test</comment><glob pattern=\"*.kv" + kind +
                     "\"/></mime-type>\n";
        return types + "</mime-info>\n";
    }

    void AddApplication(const std::string& name, const std::string& caption,
                        const std::string& type, const std::string& argument,
                        const std::string& icon) {
        const std::string program = folder_.Write(
            name + ".sh", "#!/bin/sh\nprintf '%s' \"$2\" > \"$1.part\" && mv \"$1.part\" \"$1\"\n");
        chmod(program.c_str(), 0755);
        folder_.Write("data/applications/kelvandor-test-" + name + ".desktop",
                      "[Desktop Entry]\nType=Application\nName=" + caption + "\nExec=" + program +
                          " " + RecordOf(name) + " " + argument + "\nMimeType=" + type +
                          ";\nIcon=" + icon + "\nTerminal=false\n");
    }

    TempFolder folder_;
};
