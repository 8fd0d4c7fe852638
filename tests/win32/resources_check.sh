#!/usr/bin/env bash
# What Explorer and Windows read from cloakwise.exe without running it, read
# back from the built file: the version, the manifest and the icon.
#   resources_check.sh EXE ICO   (ICO: the icon file the build drew)
set -euo pipefail
exe="$1" ico="$2"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

rc=$(x86_64-w64-mingw32-windres -i "$exe" -O rc)
version=$(sed -n '/VERSIONINFO/,/^END/p' <<<"$rc")
[ -n "$version" ] || fail "no version resource"
for pair in 'ProductName|Cloakwise' 'CompanyName|Cloakwise' 'OriginalFilename|cloakwise.exe' \
            'ProductVersion|[0-9]+\.[0-9]+' 'FileVersion|[0-9]+\.[0-9]+' \
            'FileDescription|Cloakwise .+' 'LegalCopyright|Copyright \(C\) [0-9]{4} Cloakwise'; do
  grep -Eq "VALUE \"${pair%%|*}\", \"${pair#*|}\"$" <<<"$version" || fail "version: ${pair%%|*} is not ${pair#*|}"
done
grep -Eq 'FILEVERSION [0-9]+, [0-9]+' <<<"$version" || fail "no numeric file version"

manifest=$(wrestool -x --raw --type=24 --name=1 "$exe")
for want in 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' \
            '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>' \
            '<dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">PerMonitorV2, PerMonitor</dpiAwareness>' \
            'supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"' \
            'supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"'; do
  tr -s ' \n' ' ' <<<"$manifest" | grep -qF "$want" || fail "manifest lacks: $want"
done

# The icon in the program is the one drawn from the tray's mark: every
# image of it, pixel for pixel.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
wrestool -x --type=14 --name=1 -o "$work/program.ico" "$exe"
mkdir "$work/program" "$work/drawn"
cp "$ico" "$work/drawn.ico"
icotool -x -o "$work/program" "$work/program.ico"
icotool -x -o "$work/drawn" "$work/drawn.ico"
for f in "$work"/drawn/*.png; do mv "$f" "${f/drawn_/program_}"; done
diff -r "$work/program" "$work/drawn" >/dev/null || fail "the program's icon is not the drawn cloakwise.ico"
sizes=$(icotool -l "$work/program.ico" | grep -Eo 'width=[0-9]+' | cut -d= -f2 | tr '\n' ' ')
for s in 16 32 48; do [[ " $sizes" == *" $s "* ]] || fail "no ${s}-pixel icon (has: $sizes)"; done

((failures == 0)) && echo "resources: version, manifest and icon as built"
((failures == 0))
