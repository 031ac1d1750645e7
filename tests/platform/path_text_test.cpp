#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/path_text.h"

namespace {

using platform::EditedNameBytes;
using platform::PathBytes;
using platform::PathText;
using platform::ShownText;

const QChar kReplacement(QChar::ReplacementCharacter);

TEST(PathText, EveryNameComesBackAsTheSameBytes) {
    const std::vector<std::string> names = {
        "plain.png",
        "写真/朝.png",
        "caf\xe9.jpg",                      // Latin-1
        "\x93\xfa\x96\x7b.bmp",             // Shift-JIS
        "emoji \xf0\x9f\x98\x80\xe9",       // a pair, then a kept byte right after it
        "\xed\xa0\x80\xed\xb0\x80",         // surrogates spelled in UTF-8
        "\xc0\xaf over\xe3\x81",            // an overlong form, a sequence cut short
        "\x80\xff\xfe",                     // bytes that never begin a sequence
        "line\nbreak\x7f",                  // control characters
        std::string("\xdc\x80", 2),         // U+0700, valid
    };
    for (const std::string& name : names) {
        const QString text = PathText(name);
        EXPECT_EQ(PathBytes(text), name) << name;
        EXPECT_EQ(ShownText(text).size(), text.size()) << name;
    }
    // Valid UTF-8 reads as Qt reads it; only the other bytes are kept apart.
    EXPECT_EQ(PathText("写真/朝 \xf0\x9f\x98\x80.png"), QString::fromUtf8("写真/朝 \xf0\x9f\x98\x80.png"));
    EXPECT_EQ(PathText("caf\xe9").size(), 4);
    EXPECT_NE(PathText("caf\xe9"), PathText("caf\xe8"));
}

TEST(PathText, TheUserSeesReplacementCharactersWhereBytesAreNotText) {
    EXPECT_EQ(ShownText(PathText("caf\xe9.jpg")), QString("caf") + kReplacement + ".jpg");
    EXPECT_EQ(ShownText(PathText("a\tb")), QString("a") + kReplacement + "b");
    EXPECT_EQ(ShownText(PathText("朝 \xf0\x9f\x98\x80")), QString::fromUtf8("朝 \xf0\x9f\x98\x80"));
}

TEST(PathText, ARenamedNameKeepsTheBytesTheUserLeftAlone) {
    const std::string old = "caf\xe9 \x93\xfa.jpg";
    const QString shown = ShownText(PathText(old));
    // Unchanged, or changed only elsewhere: the kept bytes stay.
    EXPECT_EQ(EditedNameBytes(old, shown), old);
    EXPECT_EQ(EditedNameBytes(old, QString(shown).replace(".jpg", ".jpeg")), "caf\xe9 \x93\xfa.jpeg");
    EXPECT_EQ(EditedNameBytes(old, "new " + shown), "new caf\xe9 \x93\xfa.jpg");
    // What the user typed is UTF-8, a replacement character included.
    EXPECT_EQ(EditedNameBytes(old, QString::fromUtf8("カフェ.jpg")), "カフェ.jpg");
    EXPECT_EQ(EditedNameBytes(old, QString("caf") + kReplacement), "caf\xe9");
    EXPECT_EQ(EditedNameBytes(old, QString(kReplacement)), "\xef\xbf\xbd");
    EXPECT_EQ(EditedNameBytes(old, QString()), "");
    // An edit inside a character of two UTF-16 units replaces the whole of it.
    EXPECT_EQ(EditedNameBytes("a\xf0\x9f\x98\x80z", QString::fromUtf8("a\xf0\x9f\x98\x81z")), "a\xf0\x9f\x98\x81z");
}

}  // namespace
