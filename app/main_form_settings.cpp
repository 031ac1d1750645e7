// Reading the settings file at start and writing it at close.
#include <algorithm>

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolBar>

#include "app/control_bar.h"
#include "app/main_form.h"
#include "app/settings_file.h"
#include "components/prg_status_bar.h"
#include "platform/application_paths.h"
#include "platform/message_box.h"
#include "raster/raster.h"
#include "raster/raster_list_view.h"
#include "shell/shell_list_view.h"
#include "shell/shell_tree_view.h"

namespace {

const QString kMain = QStringLiteral("Kelvandor");
const QString kShellControl = QStringLiteral("ShellControl");
const QString kTree = QStringLiteral("ShellTreeView");
const QString kList = QStringLiteral("ShellListView");
const QString kObjectList = QStringLiteral("RasterListView");

// The virtual places of the folder tree and the keys that switch them.
struct TVirtualPlaceKey {
    TShItemIDType Kind;
    const char* Key;
};
constexpr TVirtualPlaceKey kVirtualPlaceKeys[] = {{itVirtual, "FolderVirtual"},
                                                  {itNetWork, "FolderNetWork"},
                                                  {itBitBucket, "FolderBitBucket"},
                                                  {itInterNet, "FolderInterNet"}};

// Bounds of the window and its panes that a hand-edited file may not
// exceed; beyond them the value counts as wrong.
constexpr int kMaxCoordinate = 100000;
constexpr int kMaxFontSize = 200;
constexpr int kMinPane = 1;
// A window whose visible part on every screen is smaller than this is
// brought back onto the primary screen.
constexpr int kMinVisible = 50;

QRect WorkArea() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

bool VisibleOnSomeScreen(const QRect& bounds) {
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect visible = bounds.intersected(screen->availableGeometry());
        if (visible.width() >= kMinVisible && visible.height() >= kMinVisible) return true;
    }
    return false;
}

bool FolderExists(const QString& path) { return !path.isEmpty() && QFileInfo(path).isDir(); }

}  // namespace

QString TMainForm::ExeFolder() const { return QString::fromStdString(platform::ExecutableFolder()); }

QString TMainForm::ResolveFolder(const QString& absolute, const QString& relative, const QString& fallback) const {
    QString folder = absolute;
    if (!relative.isEmpty())
        folder = QString::fromStdString(platform::JoinPath(ExeFolder().toStdString(), relative.toStdString()));
    return FolderExists(folder) ? QDir::cleanPath(folder) : fallback;
}

bool TMainForm::LoadSettings() {
    SettingsFile& file = *settings_;
    // The start folder: where the user left off, else the home folder.
    cdFolderPath_ = file.ReadString(kMain, QStringLiteral("CD_FolderPath"), QString());
    defaultPath_ = ResolveFolder(file.ReadString(kMain, QStringLiteral("DefaultPath"), QDir::homePath()), cdFolderPath_,
                                 QDir::homePath());
    cdSusiePath_ = file.ReadString(kMain, QStringLiteral("CD_SusiePath"), QString());
    // The bundled folder only when no folder named exists: finding it reads
    // the program's folder.
    const QString plugins =
        ResolveFolder(file.ReadString(kMain, QStringLiteral("SusiePath"), QString()), cdSusiePath_, QString());
    raster_->SetPluginPath(plugins.isEmpty() ? QString::fromStdString(platform::DefaultPluginFolder()) : plugins);
    // The start folder is read once, with the files the plug-ins claim and
    // in the columns, order and view style the list was left in.
    FilterListByPlugins();
    LoadColumnSettings();
    // Before the folder lock is applied: choosing a folder releases it.
    shellTreeView_->SelectPath(StartFolder());

    initialize_ = file.ReadInteger(kMain, QStringLiteral("Initialize"), 0, 0, 1);
    ApplyWindowBounds();
    statusBar_->setVisible(file.ReadBool(kMain, QStringLiteral("StatusBar"), true));
    ReadToolBars();

    raster_->SetViewMode(static_cast<TViewMode>(file.ReadInteger(kMain, QStringLiteral("ViewMode"), 0, 0, 1)));
    raster_->SetPaintMode(static_cast<TPaintMode>(file.ReadInteger(kMain, QStringLiteral("PaintMode"), 0, 0, 1)));
    mouseWheel_ = file.ReadInteger(kMain, QStringLiteral("MouseWheel"), 0);
    ApplyShellControlSettings();

    ReadTreeLook();
    ReadListLook();
    ListLook(shellListView_->Locked()).ApplyTo(*shellListView_);
    treeLook_.ApplyTo(*shellTreeView_);
    return true;
}

TSHTreeShows TMainForm::ReadTreeShows() const {
    const SettingsFile& file = *settings_;
    TSHTreeShows shows;
    for (const TVirtualPlaceKey& place : kVirtualPlaceKeys)
        shows.VirtuaItems = file.ReadBool(kShellControl, QString::fromLatin1(place.Key), false)
                                ? shows.VirtuaItems.With(place.Kind)
                                : shows.VirtuaItems.Without(place.Kind);
    shows.IncludeHidden = file.ReadBool(kShellControl, QStringLiteral("HideFile"), false);
    return shows;
}

void TMainForm::ApplyShellControlSettings() {
    const SettingsFile& file = *settings_;
    clickType_ = file.ReadInteger(kShellControl, QStringLiteral("ClickType"), 0);
    ApplyClickType();
    shellListView_->SetLocked(file.ReadBool(kShellControl, QStringLiteral("LockFolder"), false));
}

void TMainForm::ApplyClickType() {
    if (clickType_ != 0 && clickType_ != 1) return;
    const bool pointing = clickType_ == 0;
    shellTreeView_->SetHotTrack(pointing);
    shellListView_->SetHotTrack(pointing);
    shellListView_->SetHotTrackStyles(pointing ? THotTrackStyles(htHandPoint) : THotTrackStyles());
}

void TMainForm::WriteShellControlSettings() {
    SettingsFile& file = *settings_;
    file.WriteBool(kShellControl, QStringLiteral("LockFolder"), shellListView_->Locked());
    file.WriteInteger(kShellControl, QStringLiteral("ClickType"), clickType_);
    const TShVirtuaItems places = shellTreeView_->ShVirtuaItems();
    for (const TVirtualPlaceKey& place : kVirtualPlaceKeys)
        file.WriteBool(kShellControl, QString::fromLatin1(place.Key), places.Contains(place.Kind));
    file.WriteBool(kShellControl, QStringLiteral("HideFile"), shellTreeView_->IncludeHidden());
}

void TMainForm::LoadColumnSettings() {
    shellListView_->LoadColumnSettings(settings_->Settings(), kList);
    rasterListView_->LoadColumnSettings(settings_->Settings(), kObjectList);
}

QRect TMainForm::ReadWindowBounds(const QRect& workArea) const {
    if (initialize_ != 1) return workArea;
    const SettingsFile& file = *settings_;
    const int left = file.ReadInteger(kMain, QStringLiteral("Left"), workArea.left(), -kMaxCoordinate, kMaxCoordinate);
    const int top = file.ReadInteger(kMain, QStringLiteral("Top"), workArea.top(), -kMaxCoordinate, kMaxCoordinate);
    const int right = file.ReadInteger(kMain, QStringLiteral("Right"), workArea.left() + workArea.width(),
                                       -kMaxCoordinate, kMaxCoordinate);
    const int bottom = file.ReadInteger(kMain, QStringLiteral("Bottom"), workArea.top() + workArea.height(),
                                        -kMaxCoordinate, kMaxCoordinate);
    if (right - left < kMinVisible || bottom - top < kMinVisible) return workArea;
    // Never larger than the screen it comes back on.
    QRect bounds(left, top, std::min(right - left, workArea.width()), std::min(bottom - top, workArea.height()));
    if (!VisibleOnSomeScreen(bounds)) bounds.moveTopLeft(workArea.topLeft());
    return bounds;
}

void TMainForm::ApplyWindowBounds() {
    outerBounds_ = ReadWindowBounds(WorkArea());
    PlaceWithinFrame();
    // Maximised over the bounds just placed, which un-maximising brings back.
    if (initialize_ == 1 && settings_->ReadBool(kMain, QStringLiteral("Maximized"), false))
        setWindowState(windowState() | Qt::WindowMaximized);
}

QRect TMainForm::NormalBounds() const {
    if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) return frameGeometry();
    return normalGeometry().marginsAdded(normalFrame_);
}

void TMainForm::PlaceWithinFrame() {
    // The bounds are the outer ones, frame included; the window manager
    // may tell the frame's size only after the window is on screen.
    placedFrame_ = frameGeometry().size() - geometry().size();
    move(outerBounds_.topLeft());
    resize(outerBounds_.size() - placedFrame_);
}

void TMainForm::ReadToolBars() {
    const SettingsFile& file = *settings_;
    for (int i = 0; i < 4; ++i) {
        const QString section = QStringLiteral("ToolBar%1").arg(i + 1);
        if (!file.SectionExists(section)) continue;
        QToolBar* toolBar = toolBars_[i];
        toolBar->setVisible(file.ReadBool(section, QStringLiteral("Visible"), true));
        const int maxTop = 3 * controlBar_->RowSize();
        controlBar_->PlaceToolBar(toolBar, file.ReadInteger(section, QStringLiteral("X"), 0, 0, kMaxCoordinate),
                                  file.ReadInteger(section, QStringLiteral("Y"), 0, 0, maxTop));
    }
}

TListLook TMainForm::ReadLook(const QString& prefix, const TListLook& fallback) const {
    const SettingsFile& file = *settings_;
    TListLook look;
    look.Color = file.ReadColor(kList, prefix + QStringLiteral("Color"), fallback.Color);
    look.FontName = file.ReadString(kList, prefix + QStringLiteral("FontName"), fallback.FontName);
    if (look.FontName.isEmpty()) look.FontName = fallback.FontName;
    look.FontSize = file.ReadInteger(kList, prefix + QStringLiteral("FontSize"), fallback.FontSize, 1, kMaxFontSize);
    look.FontColor = file.ReadColor(kList, prefix + QStringLiteral("FontColor"), fallback.FontColor);
    look.FontStyle = file.ReadInteger(kList, prefix + QStringLiteral("FontStyle"), fallback.FontStyle, 0, 15);
    return look;
}

void TMainForm::ReadTreeLook() {
    const SettingsFile& file = *settings_;
    const int width = file.ReadInteger(kTree, QStringLiteral("Width"), frameGeometry().width() / 5, kMinPane,
                                       kMaxCoordinate);
    sideSplitter_->setSizes({width, std::max(kMinPane, this->width() - width)});
    TListLook fallback;
    fallback.FontName = designFont_.family();
    fallback.FontSize = designFont_.pointSize();
    treeLook_.Color = file.ReadColor(kTree, QStringLiteral("Color"), kColorWindow);
    treeLook_.FontName = file.ReadString(kTree, QStringLiteral("FontName"), fallback.FontName);
    if (treeLook_.FontName.isEmpty()) treeLook_.FontName = fallback.FontName;
    treeLook_.FontSize = file.ReadInteger(kTree, QStringLiteral("FontSize"), fallback.FontSize, 1, kMaxFontSize);
    treeLook_.FontColor = file.ReadColor(kTree, QStringLiteral("FontColor"), kColorWindowText);
    treeLook_.FontStyle = file.ReadInteger(kTree, QStringLiteral("FontStyle"), 0, 0, 15);
}

void TMainForm::ReadListLook() {
    const SettingsFile& file = *settings_;
    TListLook design;
    design.FontName = designFont_.family();
    design.FontSize = designFont_.pointSize();
    unlockedLook_ = ReadLook(QString(), design);
    lockedLook_ = ReadLook(QStringLiteral("Lock"), unlockedLook_);
    const int height = file.ReadInteger(kList, QStringLiteral("Height"), frameGeometry().height() / 5, kMinPane,
                                        kMaxCoordinate);
    listSplitter_->setSizes({height, std::max(kMinPane, listSplitter_->height() - height)});

    TAttributeColors& colors = attributeColors_;
    colors.Archive = file.ReadColor(kList, QStringLiteral("FontArchive"), kColorWindowText);
    colors.Hidden = file.ReadColor(kList, QStringLiteral("FontHiden"), kColorWindowText);
    colors.ReadOnly = file.ReadColor(kList, QStringLiteral("FontReadOnly"), kColorWindowText);
    colors.System = file.ReadColor(kList, QStringLiteral("FontSystem"), kColorWindowText);
    colors.Directory = file.ReadColor(kList, QStringLiteral("FontDirectory"), kColorWindowText);
    colors.Compressed = file.ReadColor(kList, QStringLiteral("FontCompress"), kColorWindowText);
    colors.Offline = file.ReadColor(kList, QStringLiteral("FontOffline"), kColorWindowText);
    colors.Temporary = file.ReadColor(kList, QStringLiteral("FontTemporary"), kColorWindowText);
}

void TMainForm::WriteToolBars() {
    for (int i = 0; i < 4; ++i) {
        const QString section = QStringLiteral("ToolBar%1").arg(i + 1);
        const QToolBar* toolBar = toolBars_[i];
        settings_->WriteBool(section, QStringLiteral("Visible"), !toolBar->isHidden());
        settings_->WriteInteger(section, QStringLiteral("X"), toolBar->x());
        settings_->WriteInteger(section, QStringLiteral("Y"), toolBar->y());
    }
}

void TMainForm::WriteLook(const QString& prefix, const TListLook& look) {
    settings_->WriteColor(kList, prefix + QStringLiteral("Color"), look.Color);
    settings_->WriteString(kList, prefix + QStringLiteral("FontName"), look.FontName);
    settings_->WriteInteger(kList, prefix + QStringLiteral("FontSize"), look.FontSize);
    settings_->WriteColor(kList, prefix + QStringLiteral("FontColor"), look.FontColor);
    settings_->WriteInteger(kList, prefix + QStringLiteral("FontStyle"), look.FontStyle);
}

bool TMainForm::SaveSettings() {
    SettingsFile& file = *settings_;
    if (file.ReadOnly()) return false;
    file.WriteString(kMain, QStringLiteral("DefaultPath"), defaultPath_);
    file.WriteString(kMain, QStringLiteral("SusiePath"), raster_->PluginPath());
    file.WriteString(kMain, QStringLiteral("CD_FolderPath"), cdFolderPath_);
    file.WriteString(kMain, QStringLiteral("CD_SusiePath"), cdSusiePath_);
    file.WriteInteger(kMain, QStringLiteral("Initialize"), initialize_);
    const QStringList boundKeys{QStringLiteral("Left"), QStringLiteral("Top"), QStringLiteral("Right"),
                                QStringLiteral("Bottom")};
    if (initialize_ == 1) {
        const QRect bounds = NormalBounds();
        file.WriteInteger(kMain, boundKeys[0], bounds.left());
        file.WriteInteger(kMain, boundKeys[1], bounds.top());
        file.WriteInteger(kMain, boundKeys[2], bounds.left() + bounds.width());
        file.WriteInteger(kMain, boundKeys[3], bounds.top() + bounds.height());
        file.WriteBool(kMain, QStringLiteral("Maximized"), isMaximized());
    } else {
        for (const QString& key : boundKeys) file.DeleteKey(kMain, key);
        file.DeleteKey(kMain, QStringLiteral("Maximized"));
    }
    file.WriteBool(kMain, QStringLiteral("StatusBar"), !statusBar_->isHidden());
    WriteToolBars();
    file.WriteInteger(kMain, QStringLiteral("ViewMode"), raster_->ViewMode());
    file.WriteInteger(kMain, QStringLiteral("PaintMode"), raster_->PaintMode());
    file.WriteInteger(kMain, QStringLiteral("MouseWheel"), mouseWheel_);
    WriteShellControlSettings();

    file.WriteInteger(kTree, QStringLiteral("Width"), panelCtrl_->width());
    file.WriteColor(kTree, QStringLiteral("Color"), treeLook_.Color);
    file.WriteString(kTree, QStringLiteral("FontName"), treeLook_.FontName);
    file.WriteInteger(kTree, QStringLiteral("FontSize"), treeLook_.FontSize);
    file.WriteColor(kTree, QStringLiteral("FontColor"), treeLook_.FontColor);
    file.WriteInteger(kTree, QStringLiteral("FontStyle"), treeLook_.FontStyle);

    file.WriteInteger(kList, QStringLiteral("Height"), listPanel_->height());
    WriteLook(QString(), unlockedLook_);
    WriteLook(QStringLiteral("Lock"), lockedLook_);
    const TAttributeColors& colors = attributeColors_;
    file.WriteColor(kList, QStringLiteral("FontArchive"), colors.Archive);
    file.WriteColor(kList, QStringLiteral("FontHiden"), colors.Hidden);
    file.WriteColor(kList, QStringLiteral("FontReadOnly"), colors.ReadOnly);
    file.WriteColor(kList, QStringLiteral("FontSystem"), colors.System);
    file.WriteColor(kList, QStringLiteral("FontDirectory"), colors.Directory);
    file.WriteColor(kList, QStringLiteral("FontCompress"), colors.Compressed);
    file.WriteColor(kList, QStringLiteral("FontOffline"), colors.Offline);
    file.WriteColor(kList, QStringLiteral("FontTemporary"), colors.Temporary);
    shellListView_->SaveColumnSettings(file.Settings(), kList);
    rasterListView_->SaveColumnSettings(file.Settings(), kObjectList);
    if (file.Save()) return true;
    platform::ShowMessage(this, QStringLiteral("設定ファイル \"%1\" を書き込めませんでした。").arg(file.Path()),
                          platform::MessageIcon::Error);
    return false;
}
