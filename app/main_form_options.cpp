// The settings the options window edits, read from and put back into the
// window's state; applied at once, written at exit with the others.
#include "app/main_form.h"
#include "dialogs/option_settings.h"
#include "shell/shell_list_view.h"
#include "shell/shell_tree_view.h"

namespace {

TFontLook FontLookOf(const TListLook& look) {
    TFontLook result;
    result.Color = look.Color;
    result.FontName = look.FontName;
    result.FontSize = look.FontSize;
    result.FontColor = look.FontColor;
    result.FontStyle = look.FontStyle;
    return result;
}

TListLook ListLookOf(const TFontLook& look) {
    TListLook result;
    result.Color = look.Color;
    result.FontName = look.FontName;
    result.FontSize = look.FontSize;
    result.FontColor = look.FontColor;
    result.FontStyle = look.FontStyle;
    return result;
}

// The attribute colours in the order of the options window.
std::array<std::uint32_t*, kAttributeColorCount> ColorSlots(TAttributeColors& colors) {
    return {&colors.ReadOnly,  &colors.Hidden,    &colors.System,     &colors.Archive,
            &colors.Directory, &colors.Temporary, &colors.Compressed, &colors.Offline};
}

}  // namespace

TOptionSettings TMainForm::OptionSettings() const {
    TOptionSettings options;
    options.DefaultPath = defaultPath_;
    options.Initialize = initialize_;
    options.CdFolderPath = cdFolderPath_;
    options.CdSusiePath = cdSusiePath_;
    options.Tree = FontLookOf(treeLook_);
    options.List = FontLookOf(unlockedLook_);
    options.LockedList = FontLookOf(lockedLook_);
    TAttributeColors colors = attributeColors_;
    const auto places = ColorSlots(colors);
    for (int i = 0; i < kAttributeColorCount; ++i) options.AttributeColors[i] = *places[i];
    options.ClickType = clickType_;
    options.MouseWheel = mouseWheel_;
    return options;
}

void TMainForm::SetOptionSettings(const TOptionSettings& options) {
    defaultPath_ = options.DefaultPath;
    initialize_ = options.Initialize;
    cdFolderPath_ = options.CdFolderPath;
    cdSusiePath_ = options.CdSusiePath;
    treeLook_ = ListLookOf(options.Tree);
    unlockedLook_ = ListLookOf(options.List);
    lockedLook_ = ListLookOf(options.LockedList);
    const auto places = ColorSlots(attributeColors_);
    for (int i = 0; i < kAttributeColorCount; ++i) *places[i] = options.AttributeColors[i];
    clickType_ = options.ClickType;
    mouseWheel_ = options.MouseWheel;
    ApplyClickType();
    // The list keeps the look of its lock state.
    treeLook_.ApplyTo(*shellTreeView_);
    ListLook(shellListView_->Locked()).ApplyTo(*shellListView_);
    update();
}
