#!/usr/bin/env bash
# Builds the Debian package tarvik_<version>_<arch>.deb into the top of the
# checkout from a build folder (default: build; an already built folder is
# reused as it is), and checks the package, its menu entry and its AppStream
# metadata. Install it with: sudo apt-get install ./tarvik_*.deb
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="$(realpath -m "${1:-$ROOT/build}")"
bash "$ROOT/scripts/deps.sh"
[ -f "$BUILD/CMakeCache.txt" ] || cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j2 --target tarvik tarvik-admin tarvik_packaging
rm -rf "$BUILD/package"
(cd "$BUILD" && cpack -G DEB -B "$BUILD/package" >/dev/null)
rm -f "$ROOT"/tarvik_*.deb
mv "$BUILD"/package/tarvik_*.deb "$ROOT"/
DEB="$(ls "$ROOT"/tarvik_*.deb)"

desktop-file-validate "$ROOT/packaging/tarvik.desktop"
# The program has no domain of its own to name its component after, so its id
# is the name of its package, menu entry and program: "tarvik".
appstreamcli validate --no-net --override=cid-desktopapp-is-not-rdns=info \
  "$ROOT/packaging/tarvik.metainfo.xml" >/dev/null
lintian --fail-on error "$DEB"
echo "$DEB"
