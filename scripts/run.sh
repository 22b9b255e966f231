#!/usr/bin/env bash
# Sets up and starts the program in a shop folder (default: ~/tarvik-shop).
# A folder without data.mdb gets the delivered database first.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
SHOP="${1:-$HOME/tarvik-shop}"
bash "$ROOT/scripts/deps.sh"
bash "$ROOT/scripts/build.sh" "$ROOT/build"
mkdir -p "$SHOP"
if [ ! -e "$SHOP/data.mdb" ]; then
  "$ROOT/build/tarvik-admin" init "$SHOP"
fi
cd "$SHOP"
exec "$ROOT/build/tarvik"
