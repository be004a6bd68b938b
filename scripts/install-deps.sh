#!/usr/bin/env bash
# Installs every Debian package Quorvel needs to build, run, test and benchmark.
# Safe to run again: packages already present are left alone.
set -euo pipefail

PACKAGES=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format
  # Qt 6 (widgets, multimedia for the capture sound)
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libgl-dev
  qt6-qpa-plugins libqt6svg6 qt6-image-formats-plugins
  # Qt's own texts (standard buttons, file dialogs) in the interface languages
  qt6-translations-l10n
  # uploads and the update check; the server's HTTP library
  libcurl4-openssl-dev
  # the upload server: its HTTP library (Boost.Beast), TLS, and the PNG decoder that checks uploads
  libboost-dev libssl-dev libpng-dev openssl
  # the web page area's browser engine (its own program, started when that area is chosen)
  qt6-webengine-dev qt6-declarative-dev
  # X11 platform layer
  libxcb1-dev libxcb-xfixes0-dev libxcb-randr0-dev libxcb-shm0-dev libx11-dev x11proto-dev
  # Wayland platform layer: the client library, wayland-scanner for the protocol code, the
  # core protocols, Qt's Wayland plugin and the keyboard library it loads; QtDBus (in
  # qt6-base-dev) reaches KWin's and the portal's screenshots; a cursor theme with the
  # crosshair the overlays show
  libwayland-dev libwayland-bin wayland-protocols qt6-wayland libxkbcommon-dev
  adwaita-icon-theme
  # recordings on GNOME and KDE: the shared screen's frames come over PipeWire
  libpipewire-0.3-dev
  # image encoders (libwebp is loaded at run time; its headers are not needed)
  zlib1g-dev libjpeg62-turbo-dev libgif-dev libwebp7
  # PNG data: libdeflate compresses the image data about twice as fast as zlib at level 7
  libdeflate-dev
  # text recognition: Tesseract and the trained data of the interface languages
  libtesseract-dev tesseract-ocr tesseract-ocr-eng tesseract-ocr-kor tesseract-ocr-jpn
  tesseract-ocr-rus tesseract-ocr-ita tesseract-ocr-fra tesseract-ocr-chi-sim tesseract-ocr-chi-tra
  # the screen recorder's encoder
  ffmpeg
  # tests and benchmarks
  libgtest-dev libgmock-dev libwebp-dev
  xvfb xauth openbox xdotool xclip x11-xserver-utils x11-utils wmctrl
  # the Wayland desktop tests: a headless sway, a reference copy of its screen, typed keys
  sway swaybg grim wtype wl-clipboard dbus-daemon libglib2.0-bin libkf5globalaccel-bin
  # ... and a PipeWire server with its session manager, for a screen shared as a stream
  pipewire pipewire-bin wireplumber
  # a notification area and a sound server for the test desktop
  trayer pulseaudio pulseaudio-utils curl
  scrot maim imagemagick
  cups cups-client cups-bsd printer-driver-cups-pdf poppler-utils
  # the Debian package: its tools, checks, manual pages and icon sizes; xdg-utils opens folders
  dpkg-dev fakeroot lintian appstream desktop-file-utils man-db librsvg2-bin xdg-utils
  # a font so that text renders on a bare machine
  fonts-dejavu-core fonts-noto-cjk
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: every package is present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
