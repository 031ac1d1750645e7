#include "japanese_interface.h"

#include <fontconfig/fontconfig.h>

#include <memory>

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

// The design size of the window font: 9 points.
constexpr int kUiFontPointSize = 9;

struct PatternDeleter {
    void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
using PatternPtr = std::unique_ptr<FcPattern, PatternDeleter>;

struct FontSetDeleter {
    void operator()(FcFontSet* fonts) const { FcFontSetDestroy(fonts); }
};

bool CoversJapanese(FcPattern* font) {
    FcLangSet* languages = nullptr;
    return FcPatternGetLangSet(font, FC_LANG, 0, &languages) == FcResultMatch &&
           FcLangSetHasLang(languages, reinterpret_cast<const FcChar8*>("ja")) == FcLangEqual;
}

void InstallTranslation(QApplication& application, const QString& name) {
    auto translator = std::make_unique<QTranslator>(&application);
    if (translator->load(QLocale(QLocale::Japanese), name, QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        application.installTranslator(translator.release());
}

}  // namespace

QString JapaneseUiFontFamily() {
    if (FcInit() == FcFalse) return QString();
    PatternPtr pattern(FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif:lang=ja")));
    if (!pattern) return QString();
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    const std::unique_ptr<FcFontSet, FontSetDeleter> fonts(FcFontSort(nullptr, pattern.get(), FcFalse, nullptr, &result));
    if (!fonts) return QString();
    // Interface text is set in a proportional face; a fixed-width
    // Japanese face is the second choice.
    QString fixedWidth;
    for (int i = 0; i < fonts->nfont; ++i) {
        FcPattern* font = fonts->fonts[i];
        FcChar8* family = nullptr;
        if (!CoversJapanese(font) || FcPatternGetString(font, FC_FAMILY, 0, &family) != FcResultMatch) continue;
        const QString name = QString::fromUtf8(reinterpret_cast<const char*>(family));
        int spacing = FC_PROPORTIONAL;
        FcPatternGetInteger(font, FC_SPACING, 0, &spacing);
        if (spacing == FC_PROPORTIONAL) return name;
        if (fixedWidth.isEmpty()) fixedWidth = name;
    }
    return fixedWidth;
}

void SetUpJapaneseInterface(QApplication& application) {
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    InstallTranslation(application, QStringLiteral("qtbase"));
    const QString family = JapaneseUiFontFamily();
    if (family.isEmpty()) return;
    QFont font(family);
    font.setPointSize(kUiFontPointSize);
    QApplication::setFont(font);
}
