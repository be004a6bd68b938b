#!/usr/bin/env bash
# Builds the Debian packages: dist/quorvel_VERSION_ARCH.deb (the program, its command sender
# and its browser window) and dist/quorvel-server_VERSION_ARCH.deb (the upload and update
# server with its systemd unit).
#
#   scripts/package.sh                     Release build in build-package/, packages in dist/
#   scripts/package.sh --reuse DIR --out OUT
#                                          packages the programs already built in DIR (the
#                                          packaging test does this) and writes them to OUT
#
# The dependencies come from the binaries (dpkg-shlibdeps) and from the programs and
# libraries Quorvel starts or loads at run time (packaging/*.control).
set -euo pipefail
source "$(dirname "$0")/common.sh"

BUILD="$ROOT/build-package"
OUT="$ROOT/dist"
REUSE=0
while [ $# -gt 0 ]; do
    case "$1" in
    --reuse) BUILD="$2"; REUSE=1; shift 2 ;;
    --out) OUT="$2"; shift 2 ;;
    *) echo "usage: scripts/package.sh [--reuse BUILD-DIR] [--out DIR]" >&2; exit 2 ;;
    esac
done

if [ "$REUSE" = 0 ]; then
    bash "$ROOT/scripts/install-deps.sh"
    launcher=()
    if command -v ccache >/dev/null; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    fi
    # Debian's hardening: the compiler's own defaults give position-independent programs and
    # read-only relocations; dpkg-buildflags adds fortified functions, the stack protector
    # and immediate binding. Its -g and -O2 are dropped: the programs are stripped, and the
    # Release build type optimises with -O3.
    export DEB_BUILD_MAINT_OPTIONS="hardening=+all"
    flags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
    flags="$(echo "$flags" | sed -e 's/\(^\| \)-g\( \|$\)/ /g' -e 's/\(^\| \)-O2\( \|$\)/ /g')"
    rm -f "$BUILD/CMakeCache.txt"
    CFLAGS="$flags" CXXFLAGS="$flags" LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
        cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX=/usr -DQUORVEL_TESTS=OFF -DQUORVEL_BENCH=OFF "${launcher[@]}" \
        >/dev/null
    cmake --build "$BUILD" -j "$JOBS"
fi

VERSION="$(sed -n 's/^project(Quorvel VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")"
ARCH="$(dpkg --print-architecture)"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

# Everything that `cmake --install` puts under /usr, stripped.
STAGE="$WORK/stage"
DESTDIR="$STAGE" cmake --install "$BUILD" --prefix /usr --strip >/dev/null
# As Debian strips its programs: without the compiler's notes either.
find "$STAGE" -type f -perm -u+x -exec sh -c 'head -c4 "$1" | grep -q ELF' _ {} \; \
    -exec strip --remove-section=.comment --remove-section=.note {} +

# Moves one staged path into a package tree: take TREE PATH...
take() {
    local tree="$1" path
    shift
    for path in "$@"; do
        mkdir -p "$tree/$(dirname "$path")"
        mv "$STAGE/$path" "$tree/$path"
    done
}

DESKTOP="$WORK/quorvel"
SERVER="$WORK/quorvel-server"
take "$SERVER" usr/bin/quorvel-server usr/share/man/man1/quorvel-server.1 \
    usr/lib/systemd/system/quorvel-server.service
# The service's options file sits where the build's configured prefix put it (/etc for a
# /usr build, /usr/local/etc for a default one); the package always has it in /etc.
defaults="$(find "$STAGE" -path '*/etc/default/quorvel-server' -type f)"
[ "$(echo "$defaults" | wc -w)" = 1 ] || { echo "no single quorvel-server defaults file" >&2; exit 1; }
mkdir -p "$SERVER/etc/default"
mv "$defaults" "$SERVER/etc/default/quorvel-server"
take "$DESKTOP" usr
find "$STAGE" -depth -type d -empty -delete
[ ! -e "$STAGE" ] || { echo "files left unpackaged:" >&2; find "$STAGE" >&2; exit 1; }
# The folders the server's files left behind.
find "$DESKTOP" -type d -empty -delete

# Manual pages and the changelog are compressed, reproducibly.
find "$DESKTOP" "$SERVER" -path '*/share/man/*' -type f -exec gzip -9n {} +
for tree in "$DESKTOP" "$SERVER"; do
    name="$(basename "$tree")"
    doc="$tree/usr/share/doc/$name"
    mkdir -p "$doc" "$tree/DEBIAN"
    install -m 644 "$ROOT/packaging/copyright" "$doc/copyright"
    gzip -9n <"$ROOT/packaging/changelog" >"$doc/changelog.gz"
    chmod 644 "$doc/changelog.gz"
done
install -m 755 "$ROOT/packaging/quorvel-server.postinst" "$SERVER/DEBIAN/postinst"
install -m 755 "$ROOT/packaging/quorvel-server.prerm" "$SERVER/DEBIAN/prerm"
install -m 755 "$ROOT/packaging/quorvel-server.postrm" "$SERVER/DEBIAN/postrm"
# The service's options are the administrator's: an upgrade keeps their changes.
echo /etc/default/quorvel-server >"$SERVER/DEBIAN/conffiles"

# The control file: packaging/NAME.control with the version, the architecture, the
# installed size and the shared-library dependencies of the package's own programs.
control() {
    local tree="$1" name shlibs
    name="$(basename "$tree")"
    shift
    local binaries=()
    for b in "$@"; do binaries+=("-e$tree/$b"); done
    # dpkg-shlibdeps reads the architecture from a debian/control of its working folder.
    mkdir -p "$WORK/shlibs/debian"
    printf 'Source: quorvel\n\nPackage: %s\nArchitecture: any\n' "$name" \
        >"$WORK/shlibs/debian/control"
    shlibs="$(cd "$WORK/shlibs" && dpkg-shlibdeps -O "${binaries[@]}" 2>/dev/null |
        sed -n 's/^shlibs:Depends=//p')"
    sed -e "s/@VERSION@/$VERSION/" -e "s/@ARCH@/$ARCH/" -e "s/@SHLIBS@/$shlibs/" \
        -e "s/@SIZE@/$(du -sk --exclude=DEBIAN "$tree" | cut -f1)/" \
        "$ROOT/packaging/$name.control" >"$tree/DEBIAN/control"
}
control "$DESKTOP" usr/bin/quorvel usr/bin/quorvelctl usr/libexec/quorvel/quorvel-webpage
control "$SERVER" usr/bin/quorvel-server

# Owner root, no write bits for others, whatever the checkout's umask was.
find "$DESKTOP" "$SERVER" -type d -exec chmod 755 {} +
find "$DESKTOP" "$SERVER" -type f ! -path '*/DEBIAN/*' -exec chmod go-w {} +
(cd "$DESKTOP" && find usr -type f -exec md5sum {} + | sort -k2 >DEBIAN/md5sums)
(cd "$SERVER" && find usr -type f -exec md5sum {} + | sort -k2 >DEBIAN/md5sums)
chmod 644 "$DESKTOP/DEBIAN/md5sums" "$DESKTOP/DEBIAN/control" \
    "$SERVER/DEBIAN/md5sums" "$SERVER/DEBIAN/control" "$SERVER/DEBIAN/conffiles"

mkdir -p "$OUT"
for tree in "$DESKTOP" "$SERVER"; do
    deb="$OUT/$(basename "$tree")_${VERSION}_${ARCH}.deb"
    dpkg-deb --root-owner-group -Zxz --build "$tree" "$deb" >/dev/null
    echo "$deb"
done
