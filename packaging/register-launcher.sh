#!/bin/sh
# Registers the launcher of the workstation that lives in this folder for the current user.
# Run it again after moving the folder.
set -eu
# Command substitution drops trailing newlines, which a folder name may end with: keep them.
here=$(dirname -- "$0"; echo x)
here=${here%??}
appdir=$(cd -- "$here" && pwd; echo x)
appdir=${appdir%??}
target=${XDG_DATA_HOME:-$HOME/.local/share}/applications
mkdir -p "$target"
# The folder goes in as data, never as code: awk reads it from the environment and builds each
# value character by character. In Exec (inside the template's double quotes) '"', '`', '$' and
# '\' take a backslash and '%' is doubled, as the freedesktop.org Desktop Entry Exec rules want;
# then every value gets the general string escapes ('\\', '\n', '\t', '\r').
SOLMIR_APPDIR=$appdir awk '
function escaped(s, forExec,    out, i, c) {
    out = ""
    for (i = 1; i <= length(s); i++) {
        c = substr(s, i, 1)
        if (forExec && (c == "\"" || c == "`" || c == "$" || c == "\\"))
            c = "\\" c
        else if (forExec && c == "%")
            c = "%%"
        out = out c
    }
    s = out
    out = ""
    for (i = 1; i <= length(s); i++) {
        c = substr(s, i, 1)
        if (c == "\\") c = "\\\\"
        else if (c == "\n") c = "\\n"
        else if (c == "\t") c = "\\t"
        else if (c == "\r") c = "\\r"
        out = out c
    }
    return out
}
function substituted(line, value,    out, i) {
    out = ""
    while ((i = index(line, "@APPDIR@")) > 0) {
        out = out substr(line, 1, i - 1) value
        line = substr(line, i + 8)
    }
    return out line
}
BEGIN {
    plain = escaped(ENVIRON["SOLMIR_APPDIR"], 0)
    exec = escaped(ENVIRON["SOLMIR_APPDIR"], 1)
}
/^Exec=/ { print substituted($0, exec); next }
{ print substituted($0, plain) }
' "$appdir/solmir3-arm.desktop" > "$target/solmir3-arm.desktop.new"
chmod 644 "$target/solmir3-arm.desktop.new"
mv -f "$target/solmir3-arm.desktop.new" "$target/solmir3-arm.desktop"
command -v update-desktop-database >/dev/null 2>&1 && update-desktop-database "$target" || true
echo "Launcher registered: $target/solmir3-arm.desktop"
case $appdir in
    *%*) echo "Note: GLib-based desktops (GNOME, Xfce, MATE) refuse a program in a folder whose" \
              "name holds '%'; move the folder to start it from their menu." >&2 ;;
esac
