#!/usr/bin/env bash
# Builds the Debian package from build/ and checks it as Debian and a desktop see it: lintian
# reports no error, the AppStream metainfo and the desktop entry validate. Installs it with
# apt-get as a user would; a .qld file then has Quillon's type, which opens in Quillon. Starts
# the installed program under a virtual X server: start-up and End, then a start with a theme
# file and a second start that hands its file over to the first.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# What the checks need beyond the build (help2man, which makes the manual page from --help, is
# one of the build's own, in setup.sh); mimetype (libfile-mimeinfo-perl) is what xdg-mime asks
# outside a desktop.
bash "$root/scripts/install-missing.sh" lintian help2man appstream shared-mime-info xdg-utils \
    libfile-mimeinfo-perl desktop-file-utils man-db systemd

# Configured again, so that the build finds help2man when it was only just installed; then
# only what the package holds is built.
cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
cmake --build "$root/build" -j "$(nproc)" --target quillon manual_page debian_changelog
cd "$root/build"
rm -f quillon_*.deb
cpack -G DEB
deb=$(ls quillon_*.deb)
echo "lintian $deb:"
lintian --fail-on error --info "$deb"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --reinstall "./$deb"

desktop-file-validate /usr/share/applications/quillon.desktop
appstreamcli validate --no-net /usr/share/metainfo/example.quillon.Quillon.metainfo.xml
test -f /usr/share/icons/hicolor/64x64/apps/quillon.png
test -f /usr/share/icons/hicolor/scalable/apps/quillon.svg
man --warnings -l /usr/share/man/man1/quillon.1.gz >/dev/null
zcat /usr/share/man/man1/quillon.1.gz | grep -q "step\\\\-every"
# The wall screen's user unit as systemd reads it, for one instance: its program found where the
# package put it, its manual page there. Needs no running systemd, also as root.
systemd-analyze verify "/usr/lib/systemd/user/quillon-signage@$(systemd-escape /srv/lobby.qld).service"

type=application/x-quillon-theme
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
printf 'https://www.debian.org/\r\n' >"$scratch/x.qld"
found=$(xdg-mime query filetype "$scratch/x.qld")
[ "$found" = "$type" ] || { echo "x.qld has the type '$found', not $type" >&2; exit 1; }
opener=$(xdg-mime query default "$type")
[ "$opener" = "quillon.desktop" ] || { echo "$type opens with '$opener'" >&2; exit 1; }
echo "x.qld: $found, opened by $opener"

QUILLON=/usr/bin/quillon xvfb-run -a -s "-screen 0 1280x800x24 -noreset" \
    python3 "$root/tests/e2e/session.py" -k test_start_and_end \
    -k test_a_theme_file_to_start_with_then_handed_over
