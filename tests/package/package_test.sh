#!/usr/bin/env bash
# Packages the programs of this build folder as scripts/package.sh does for a release, and
# checks the two packages: lintian reports no error and no warning, every file the
# installed program needs is in place, the dependencies name the libraries the programs
# link and the ones they start or load at run time, and the menu entry, the AppStream
# metadata and the manual pages pass their own validators.
#   package_test.sh SOURCE-DIR BUILD-DIR
set -euo pipefail
SOURCE="$1"
BUILD="$2"

for tool in lintian dpkg-deb dpkg-shlibdeps appstreamcli desktop-file-validate man; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is missing (scripts/install-deps.sh brings it)"
        exit 77
    fi
done

OUT="$(mktemp -d)"
trap 'rm -rf "$OUT"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

bash "$SOURCE/scripts/package.sh" --reuse "$BUILD" --out "$OUT"
desktop_deb="$(ls "$OUT"/quorvel_*.deb)"
server_deb="$(ls "$OUT"/quorvel-server_*.deb)"

echo "== lintian"
if ! lintian --fail-on error,warning --tag-display-limit 0 "$desktop_deb" "$server_deb"; then
    fail "lintian reports errors or warnings"
fi

echo "== contents"
dpkg-deb -c "$desktop_deb" | awk '{print $6}' | sed 's|^\./|/|' >"$OUT/desktop.list"
dpkg-deb -c "$server_deb" | awk '{print $6}' | sed 's|^\./|/|' >"$OUT/server.list"
expect() {
    local list="$1" path
    shift
    for path in "$@"; do
        grep -qx "$path" "$OUT/$list.list" || fail "$list package lacks $path"
    done
}
expect desktop /usr/bin/quorvel /usr/bin/quorvelctl /usr/libexec/quorvel/quorvel-webpage \
    /usr/share/applications/quorvel.desktop \
    /usr/share/icons/hicolor/scalable/apps/quorvel.svg \
    /usr/share/metainfo/invalid.marbask.quorvel.metainfo.xml \
    /usr/share/man/man1/quorvel.1.gz /usr/share/man/man1/quorvelctl.1.gz \
    /usr/share/doc/quorvel/copyright /usr/share/doc/quorvel/README.md
for size in 16 22 24 32 48 64 128 256; do
    expect desktop "/usr/share/icons/hicolor/${size}x${size}/apps/quorvel.png"
done
expect server /usr/bin/quorvel-server /usr/share/man/man1/quorvel-server.1.gz \
    /usr/lib/systemd/system/quorvel-server.service /usr/share/doc/quorvel-server/copyright \
    /etc/default/quorvel-server
# The server and its unit belong to the server package alone.
grep -q "quorvel-server" "$OUT/desktop.list" && fail "the desktop package holds server files"

echo "== icons"
mkdir -p "$OUT/desktop" "$OUT/server"
dpkg-deb -x "$desktop_deb" "$OUT/desktop"
dpkg-deb -x "$server_deb" "$OUT/server"
for size in 16 22 24 32 48 64 128 256; do
    png="$OUT/desktop/usr/share/icons/hicolor/${size}x${size}/apps/quorvel.png"
    [ -f "$png" ] || continue
    read -r w h < <(python3 -c 'import struct,sys
d=open(sys.argv[1],"rb").read(24); print(*struct.unpack(">II", d[16:24]))' "$png")
    [ "$w" = "$size" ] && [ "$h" = "$size" ] || fail "the ${size} px icon is ${w}x${h}"
done

echo "== dependencies"
depends="$(dpkg-deb -f "$desktop_deb" Depends)"
recommends="$(dpkg-deb -f "$desktop_deb" Recommends)"
for package in libqt6widgets6 libqt6webenginecore6 libtesseract5 libxcb1 libwebp7 qt6-qpa-plugins \
    qt6-wayland; do
    [[ ", $depends," == *", $package"[\ ,]* ]] || fail "quorvel does not depend on $package: $depends"
done
for package in ffmpeg tesseract-ocr-eng xdg-utils wl-clipboard; do
    [[ ", $recommends," == *", $package"[\ ,]* ]] || fail "quorvel does not recommend $package"
done
server_depends="$(dpkg-deb -f "$server_deb" Depends)"
[[ "$server_depends" == *libqt6core6* ]] || fail "quorvel-server does not depend on Qt Core"
[[ "$server_depends" == *libqt6widgets6* ]] && fail "quorvel-server pulls in Qt Widgets"

echo "== menu entry, metadata, manual pages"
desktop-file-validate "$OUT/desktop/usr/share/applications/quorvel.desktop" ||
    fail "the menu entry does not validate"
appstreamcli validate --no-net "$OUT/desktop/usr/share/metainfo/"*.metainfo.xml ||
    fail "the AppStream metadata does not validate"
for page in "$OUT/desktop/usr/share/man/man1/"*.1.gz "$OUT/server/usr/share/man/man1/"*.1.gz; do
    warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)"
    [ -z "$warnings" ] || fail "$(basename "$page") renders with warnings: $warnings"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "the packages are clean"
