#!/usr/bin/env bash
# The desktop entry and the AppStream file as desktops and software centres read them: both
# validators clean, and one id throughout (file names, launchable, icon).
# Usage: metadata_test.sh SOURCE-DIR BUILD-DIR VERSION. Exits 77 (skipped) where a validator is
# missing.
set -uo pipefail
for tool in desktop-file-validate appstreamcli; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIPPED: $tool is missing (on Debian, scripts/deps.sh test installs it)"
        exit 77
    fi
done

source=$1
build=$2
version=$3
dir=$source/packaging
app=io.github.farvane.farvane
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

desktop=$dir/$app.desktop
metainfo=$build/packaging/$app.metainfo.xml
if ! out=$(desktop-file-validate "$desktop" 2>&1) || [ -n "$out" ]; then
    fail "desktop-file-validate: $out"
fi

# Every error, warning, info and pedantic note fails.
out=$(appstreamcli validate --pedantic --no-net "$metainfo" 2>&1)
status=$?
[ "$status" = 0 ] || fail "appstreamcli validate exits with $status: $out"
notes=$(grep -E '^[EWIP]: ' <<<"$out")
[ -z "$notes" ] || fail "appstreamcli validate --pedantic: $notes"

for pattern in "<id>$app</id>" "<launchable type=\"desktop-id\">$app.desktop</launchable>" \
               "<icon type=\"stock\">$app</icon>" '<project_license>MIT</project_license>' \
               "<release version=\"$version\" date=\"2026-12-08\""; do
    grep -qF "$pattern" "$metainfo" || fail "the metainfo lacks $pattern"
done
grep -qxF "Icon=$app" "$desktop" || fail "the desktop entry's icon is not $app"
# The window names its desktop file, so a desktop matches the running game to this entry.
grep -qF "setDesktopFileName(QStringLiteral(\"$app\"))" "$source/desktop/window.cpp" ||
    fail "the window does not name $app as its desktop file"
# The licence file names files that exist (a pattern: at least one file).
while read -r pattern; do
    [ "$pattern" = '*' ] && continue
    compgen -G "$source/$pattern" >/dev/null || fail "packaging/copyright names $pattern, which matches no file"
done < <(sed -n 's/^Files: //p' "$dir/copyright" | tr ' ' '\n')

[ "$failures" = 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "desktop entry and AppStream metadata check out"
