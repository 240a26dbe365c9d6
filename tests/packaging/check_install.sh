#!/usr/bin/env bash
# Installs the build tree into an empty prefix and checks what a package gets:
# the programs, desktop entry, MIME types, icons, metainfo and manual page,
# with the freedesktop validators.
#   check_install.sh BUILD_DIR PROJECT_VERSION
set -euo pipefail
build=${1:?usage: check_install.sh BUILD_DIR PROJECT_VERSION}
version=${2:?usage: check_install.sh BUILD_DIR PROJECT_VERSION}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail=0
problem() { echo "$*"; fail=1; }

share=$prefix/share
for f in bin/yuvlumo bin/yuvlumo-cli bin/lumo-service; do
  [ -x "$prefix/$f" ] || problem "missing program $f"
done
for f in applications/yuvlumo.desktop mime/packages/yuvlumo.xml metainfo/io.github.yuvlumo.yuvlumo.metainfo.xml \
         icons/hicolor/scalable/apps/yuvlumo.svg man/man1/yuvlumo-cli.1.gz; do
  [ -f "$share/$f" ] || problem "missing share/$f"
done
for size in 16 22 24 32 48 64 128 256 512; do
  png=$share/icons/hicolor/${size}x${size}/apps/yuvlumo.png
  file "$png" | grep -q "PNG image data, $size x $size," || problem "not a ${size}x${size} PNG: $png"
done
[ "$fail" = 0 ] || exit 1

desktop-file-validate "$share/applications/yuvlumo.desktop" || problem "desktop-file-validate failed"
appstreamcli validate --no-net "$share/metainfo/io.github.yuvlumo.yuvlumo.metainfo.xml" >/dev/null ||
  problem "appstreamcli validate failed: $(appstreamcli validate --no-net "$share/metainfo/"*.xml)"

# The MIME database built from the installed XML knows both types the entry
# opens, by name and (Y4M) by content.
XDG_DATA_DIRS="$share:/usr/share" update-mime-database "$share/mime"
for line in 'video/x-raw-yuv:*.yuv' 'video/x-yuv4mpeg:*.y4m'; do
  grep -qF ":$line" "$share/mime/globs2" || problem "the MIME database lacks $line"
done
grep -qF 'YUV4MPEG2 ' "$share/mime/magic" || problem "the MIME database lacks the Y4M signature"
for type in video/x-raw-yuv video/x-yuv4mpeg; do
  grep -q "^MimeType=.*$type;" "$share/applications/yuvlumo.desktop" || problem "the entry does not open $type"
done

# The manual page describes every option the program's help names, and both
# carry the project's version.
man_text=$(zcat "$share/man/man1/yuvlumo-cli.1.gz" | sed 's/\\-/-/g')
for option in $("$prefix/bin/yuvlumo-cli" --help | grep -oE -- '(^|[ [])--?[a-z][a-z-]*' | tr -d ' [' | sort -u); do
  grep -qE -- "$option([^a-z-]|$)" <<<"$man_text" || problem "option $option of yuvlumo-cli --help is not in packaging/yuvlumo-cli.1"
done
grep -q "^\.TH .*\"YUV Lumo $version\"" <<<"$man_text" || problem "the manual page does not say version $version"
grep -qF "<release version=\"$version\"" "$share/metainfo/io.github.yuvlumo.yuvlumo.metainfo.xml" ||
  problem "the metainfo has no release $version"
exit "$fail"
