#!/usr/bin/env bash
# Tests the package as a shop gets it: installs ./tarvik_*.deb from the top of
# the checkout with apt-get, runs the installed programs from /usr/bin in a
# temporary home, then purges the package and checks that nothing of it is
# left in /usr. Needs root (or sudo).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
apt() { $SUDO env DEBIAN_FRONTEND=noninteractive apt-get -q -y "$@" >/dev/null; }
fail() { echo "installed-test: $*" >&2; exit 1; }

TMP="$(mktemp -d)"
pid=""
installed=""
# A failed run leaves neither the program running nor the package installed.
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  [ -n "$installed" ] && apt purge tarvik || true
  rm -rf "$TMP"
}
trap cleanup EXIT

# A package left by an earlier run would hide what this one leaves behind.
if dpkg-query -W -f='${Status}' tarvik 2>/dev/null | grep -q "ok installed"; then
  apt purge tarvik
fi
find /usr -xdev | sort >"$TMP/usr-before"
(cd "$ROOT" && apt install ./tarvik_*.deb)
installed=1
dpkg-query -L tarvik | sort >"$TMP/files"
for program in tarvik tarvik-admin; do
  [ "$(command -v "$program")" = "/usr/bin/$program" ] || fail "$program is not /usr/bin/$program"
  [ "$(man -w "$program")" = "/usr/share/man/man1/$program.1.gz" ] || fail "no manual page $program(1)"
done
# The menu shows the entry with its icon.
desktop-file-validate /usr/share/applications/tarvik.desktop
[ -f /usr/share/icons/hicolor/scalable/apps/tarvik.svg ] || fail "no icon tarvik in the hicolor theme"

# A user of its own, with a desktop folder for the shortcut the login writes.
export HOME="$TMP/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share"
unset XDG_CONFIG_DIRS XDG_DATA_DIRS
mkdir -p "$HOME/Desktop"
SHOP="$TMP/shop"
/usr/bin/tarvik-admin init "$SHOP" >/dev/null
(cd "$SHOP" && /usr/bin/tarvik-admin check >/dev/null)

# Starts the installed program in FOLDER and waits until it says that a window
# of class CLASS is shown; the start-up lines it wrote are left in
# $TMP/startup.txt. The program reports each window once it is shown, so this
# waits for the window itself, not for a time; the time limit (per line) only
# ends a start that hangs.
start_until_shown() {
  local folder="$1" class="$2"
  rm -f "$TMP/log"
  mkfifo "$TMP/log"
  (cd "$folder" && QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="tarvik.startup.info=true" \
    exec /usr/bin/tarvik >/dev/null 2>"$TMP/log") &
  pid=$!
  local found=1 line
  : >"$TMP/startup.txt"
  while IFS= read -r -t 120 line; do
    printf '%s\n' "$line" >>"$TMP/startup.txt"
    case "$line" in *"window shown: "*"[$class]") found=0; break ;; esac
  done <"$TMP/log"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pid=""
  if [ "$found" -ne 0 ]; then
    cat "$TMP/startup.txt" >&2
    fail "no window $class was shown by /usr/bin/tarvik started in $folder"
  fi
}

# In a shop folder: the login window, with Qt's texts from the package.
start_until_shown "$SHOP" Tloginfm
grep -Fqx "tarvik.startup: Qt translations: /usr/share/tarvik/translations/qtbase_zh_CN.qm" "$TMP/startup.txt" ||
  fail "the Qt translations did not come from the package: $(cat "$TMP/startup.txt")"
grep -Fqx "tarvik.startup: database: $SHOP/data.mdb" "$TMP/startup.txt" || fail "not the shop's database: $(cat "$TMP/startup.txt")"
# The shortcut the login wrote starts the installed program, with its icon.
SHORTCUT="$HOME/Desktop/Tarvik运动品销售管理软件.desktop"
for line in 'Exec="/usr/bin/tarvik"' "Path=$SHOP" "Icon=tarvik"; do
  grep -Fqx "$line" "$SHORTCUT" || fail "$SHORTCUT has no line $line"
done
desktop-file-validate "$SHORTCUT"

# As from the menu, in a folder without a database: the first start asks
# where the shop's database is to be kept, and nothing is made before that.
start_until_shown "$HOME" ShopFolderDialog
[ ! -e "$XDG_DATA_HOME/tarvik" ] || fail "the first start made $XDG_DATA_HOME/tarvik before asking"

apt purge tarvik
installed=""
left=""
while read -r path; do
  if [ -e "$path" ] && ! grep -Fqx "$path" "$TMP/usr-before"; then left+="$path"$'\n'; fi
done <"$TMP/files"
find /usr -xdev | sort >"$TMP/usr-after"
left+="$(comm -13 "$TMP/usr-before" "$TMP/usr-after")"
[ -z "$left" ] || fail "left in /usr after the purge:"$'\n'"$left"
echo "installed-test: installed, started from /usr/bin, purged without a trace"
