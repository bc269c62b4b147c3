#!/usr/bin/env bash
# Builds the Debian package of a build folder, checks each desktop file with
# the validator its standard has, then installs the package, runs it from
# /usr/bin and removes it again, leaving nothing behind.
# Usage: packaging/check-package.sh BUILD-FOLDER   (as root, or with sudo)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

rm -f "$build"/pelorin_*.deb
(cd "$build" && cpack -G DEB >/dev/null 2>&1)
deb=$(ls "$build"/pelorin_*.deb)
echo "Package: $deb"

desktop-file-validate packaging/pelorin.desktop
# No network here: the screenshot's address is not fetched.
appstreamcli validate --no-net "$build"/packaging/*.metainfo.xml
xmllint --noout packaging/pelorin-mime.xml
lintian --fail-on error,warning "$deb"

$sudo dpkg -i "$deb" >/dev/null
# A failed check does not leave the package on the machine.
trap '$sudo dpkg -r pelorin >/dev/null 2>&1 || true' EXIT
mapfile -t installed < <(dpkg -L pelorin | while read -r path; do [ -f "$path" ] && echo "$path"; done)
grep -q '^jpg ' <<<"$(/usr/bin/pelorin-cli types)"
/usr/bin/pelorin-cli --version
/usr/bin/pelorin --version
test -f /usr/share/doc/pelorin/manual/index.html
test -f /usr/share/doc/pelorin/screenshots/04-results.png
# The desktop's triggers have taken the files in: .rvx is a type of its own, which Pelorin opens.
grep -q ':application/x-pelorin-scan-info:\*\.rvx$' /usr/share/mime/globs2
grep -q '^application/x-pelorin-scan-info=pelorin.desktop;' /usr/share/applications/mimeinfo.cache
$sudo dpkg -r pelorin >/dev/null
trap - EXIT
left=0
for path in "${installed[@]}"; do
  if [ -e "$path" ]; then
    echo "left behind: $path" >&2
    left=1
  fi
done
[ -e /usr/share/doc/pelorin ] && { echo "left behind: /usr/share/doc/pelorin" >&2; left=1; }
if grep -q 'application/x-pelorin-scan-info' /usr/share/mime/globs2 /usr/share/applications/mimeinfo.cache; then
  echo "the .rvx type is still registered" >&2
  left=1
fi
[ $left -eq 0 ] || exit 1
echo "Installed ${#installed[@]} files, ran pelorin-cli and pelorin from /usr/bin, removed them all"
