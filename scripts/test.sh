#!/usr/bin/env bash
# Sets up, builds with warnings as errors, and runs every test headless.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
bash "$ROOT/scripts/deps.sh"
# The receipt tests print through a real CUPS queue that writes PDF files.
bash "$ROOT/scripts/cups-pdf.sh"
bash "$ROOT/scripts/build.sh" "$ROOT/build-test" -DTARVIK_WERROR=ON
cd "$ROOT/build-test"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2
