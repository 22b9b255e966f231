#!/usr/bin/env bash
# Sets up, builds with warnings as errors, and runs every test headless; then
# makes the Debian package from the same build folder and tests it installed.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
bash "$ROOT/scripts/deps.sh"
# The receipt tests print through a real CUPS queue that writes PDF files.
bash "$ROOT/scripts/cups-pdf.sh"
bash "$ROOT/scripts/build.sh" "$ROOT/build-test" -DTARVIK_WERROR=ON
cd "$ROOT/build-test"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2
# The package, made from the same build folder, and tested as a shop installs it.
bash "$ROOT/scripts/package.sh" "$ROOT/build-test"
bash "$ROOT/scripts/installed-test.sh"
