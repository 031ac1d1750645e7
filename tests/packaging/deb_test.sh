#!/usr/bin/env bash
# Builds the Debian package from the build folder into a temporary folder,
# checks its control data and contents, unpacks it and runs the unpacked
# program as a user would find it after installing.
# Usage: deb_test.sh <build folder> <version>
set -euo pipefail
build=$1
version=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "$*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >/dev/null
package=$(ls "$work/out"/kelvandor_"$version"_*.deb)

test "$(dpkg-deb -f "$package" Package)" = kelvandor || fail "wrong package name"
test "$(dpkg-deb -f "$package" Version)" = "$version" || fail "wrong package version"
depends=$(dpkg-deb -f "$package" Depends)
# Found from the binaries, and the toolkit's SVG support named by hand.
for needed in libqt6widgets6 libjpeg62-turbo libwebp7 libqt6svg6; do
    [[ "$depends" == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done

dpkg -x "$package" "$work/root"
for plugin in ifbmp ifgif ifjpeg ifpng iftiff ifwebp; do
    test -f "$work/root/usr/lib/kelvandor/plugins/$plugin.spi" || fail "the package lacks $plugin.spi"
done
for bits in 32 64; do
    helper=kelvandor-spihost$bits.exe
    if [ -f "$build/bin/$helper" ]; then
        test -f "$work/root/usr/lib/kelvandor/plugins/$helper" || fail "the package lacks $helper"
    fi
done
[[ "$(dpkg-deb -f "$package" Suggests)" == *wine* ]] || fail "Suggests lacks wine"
# Every label is Japanese: an installation without recommended packages
# must still have a font that draws it.
[[ "$depends" == *"fonts-ipafont-gothic | fonts-noto-cjk"* ]] || fail "Depends lacks a Japanese font: $depends"
test -f "$work/root/usr/share/doc/kelvandor/copyright" || fail "the package lacks its copyright file"
zcat "$work/root/usr/share/doc/kelvandor/changelog.gz" | head -n 1 | grep -q "^kelvandor ($version)" ||
    fail "the package lacks its change log for $version"
for binary in "$work/root/usr/bin/kelvandor" "$work/root/usr/lib/kelvandor/plugins/"*.spi; do
    ! readelf -S "$binary" | grep -q '\.comment' || fail "$binary keeps its .comment section"
    readelf -d "$binary" | grep -q 'BIND_NOW' || fail "$binary is not linked with -z now"
done
# Debian's own checks: no error and no warning.
if command -v lintian >/dev/null; then
    findings=$(lintian --fail-on none "$package" | grep -E '^[EW]: ' || true)
    [ -z "$findings" ] || fail "lintian: $findings"
fi
test -f "$work/root/usr/share/applications/org.kelvandor.Kelvandor.desktop" || fail "the package lacks its desktop entry"
test "$(env -u DISPLAY QT_QPA_PLATFORM=xcb "$work/root/usr/bin/kelvandor" --version)" = "Kelvandor $version" ||
    fail "the packaged program does not run"
echo "$(basename "$package") checked"
