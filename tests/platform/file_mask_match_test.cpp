#include <gtest/gtest.h>

#include "platform/file_mask_match.h"

using platform::PathMatchSpec;

TEST(PathMatchSpec, MatchesWildcardsIgnoringCaseInAnyPatternOfTheList) {
    EXPECT_TRUE(PathMatchSpec(QStringLiteral("IMG_0001.JPG"), QStringLiteral("*.jpg")));
    EXPECT_TRUE(PathMatchSpec(QStringLiteral("scan.tif"), QStringLiteral("*.jpg; *.tif")));
    EXPECT_TRUE(PathMatchSpec(QStringLiteral("写真1.png"), QStringLiteral("写真?.PNG")));
    EXPECT_TRUE(PathMatchSpec(QStringLiteral("a.b.c"), QStringLiteral("*.*.c")));
    EXPECT_FALSE(PathMatchSpec(QStringLiteral("photo.jpeg"), QStringLiteral("*.jpg")));
    EXPECT_FALSE(PathMatchSpec(QStringLiteral("ab"), QStringLiteral("a?b")));
}

TEST(PathMatchSpec, StarDotStarMatchesEverythingAndAnEmptyMaskNothing) {
    EXPECT_TRUE(PathMatchSpec(QStringLiteral("README"), QStringLiteral("*.*")));
    EXPECT_TRUE(PathMatchSpec(QStringLiteral(".hidden"), QStringLiteral("*")));
    EXPECT_FALSE(PathMatchSpec(QStringLiteral("README"), QString()));
    EXPECT_FALSE(PathMatchSpec(QStringLiteral("README"), QStringLiteral(";;")));
    // Many stars on a long name stay quick: no backtracking blow-up.
    EXPECT_FALSE(PathMatchSpec(QString(5000, QLatin1Char('a')), QStringLiteral("*a*a*a*a*a*a*a*a*b")));
}
