#!/bin/sh
# Registers the launcher of the workstation that lives in this folder for the current user.
# Run it again after moving the folder.
set -eu
appdir=$(cd "$(dirname "$0")" && pwd)
target=${XDG_DATA_HOME:-$HOME/.local/share}/applications
mkdir -p "$target"
sed "s#@APPDIR@#$appdir#g" "$appdir/solmir3-arm.desktop" > "$target/solmir3-arm.desktop"
chmod 644 "$target/solmir3-arm.desktop"
command -v update-desktop-database >/dev/null 2>&1 && update-desktop-database "$target" || true
echo "Launcher registered: $target/solmir3-arm.desktop"
