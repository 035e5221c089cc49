#!/usr/bin/env bash
# Checks that the project installs like a Linux desktop application:
#   1. `cmake --install` into a DESTDIR puts exactly the files listed in
#      res/linux/installed-files.txt, the programs executable;
#   2. the desktop entry passes desktop-file-validate, the voice bank's MIME
#      type builds a database with update-mime-database, the AppStream metadata
#      appstreamcli validate --no-net, the manual pages man --warnings, and
#      the app names the desktop entry's id as its desktop file name;
#   3. `cpack -G DEB` makes a package whose dependencies dpkg-shlibdeps
#      found and which holds the same files;
#   4. the package installs with apt-get, and both programs start from
#      /usr/bin (glwtool --version and a bank round trip, the app shown
#      offscreen and closed).
#
#   scripts/check-install.sh [--build-dir DIR] [--keep-package]
#
# Runs as root or as a user with sudo: it installs what it needs with
# apt-get. The package it installs is removed again at the end, unless it
# was installed before or --keep-package is given; so are the packages that
# came in with it.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { echo "usage: scripts/check-install.sh [--build-dir DIR] [--keep-package]"; }
build=build-install
keep=0
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) [ $# -ge 2 ] || { usage >&2; exit 2; }; build=$2; shift 2 ;;
    --keep-package) keep=1; shift ;;
    -h|--help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
  esac
done

app_id=com.vantor.GridlumeVoiceManager
package=gridlume-voice-manager
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
# Another apt or an unattended upgrade may hold the dpkg lock: wait for it
# (up to ten minutes) instead of failing at once.
apt_get() { $sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 "$@"; }

stage() { echo; echo "== $*"; }
fail() { echo "check-install: $*" >&2; exit 1; }
is_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

installed_packages() {
  dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 == "ii" { print $2 }' | LC_ALL=C sort
}

work=$(mktemp -d)
installed_by_us=0
cleanup() {
  if [ "$installed_by_us" = 1 ] && [ "$keep" = 0 ]; then
    # The package and what apt brought in for it (marked as installed
    # automatically), nothing else.
    local added
    mapfile -t added < <(
      installed_packages | LC_ALL=C comm -13 "$work/packages-before.txt" - |
        grep -Fx -f <(echo "$package"; apt-mark showauto) || true)
    if [ ${#added[@]} -gt 0 ]; then
      echo; echo "== removing again: ${added[*]}"
      apt_get remove -y -q "${added[@]}" >/dev/null || true
    fi
  fi
  rm -rf "$work"
}
trap cleanup EXIT

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev libopenal-dev
  fonts-dejavu-core fonts-liberation2
  desktop-file-utils appstream dpkg-dev file man-db shared-mime-info
)
missing=()
for p in "${packages[@]}"; do is_installed "$p" || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  stage "installing: ${missing[*]}"
  apt_get update -q
  apt_get install -y -q --no-install-recommends "${missing[@]}"
fi

stage "build (Release, without tests)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DGLW_BUILD_TESTS=OFF -DGLW_WERROR=ON >/dev/null
cmake --build "$build" -j "${GLW_JOBS:-$(nproc)}"

# A file list: every path below a folder that is not itself a folder.
list_files() { (cd "$1" && find . ! -type d | sed 's|^\.||' | LC_ALL=C sort); }
expected=$work/expected.txt
grep -v -e '^#' -e '^[[:space:]]*$' res/linux/installed-files.txt | LC_ALL=C sort >"$expected"

stage "cmake --install into a DESTDIR, compared with res/linux/installed-files.txt"
dest=$work/stage
DESTDIR=$dest cmake --install "$build" --prefix /usr >/dev/null
list_files "$dest" >"$work/installed.txt"
diff -u "$expected" "$work/installed.txt" ||
  fail "the installed files differ from res/linux/installed-files.txt (- expected, + installed)"
for program in glwtool gridlume-voice-manager; do
  [ -x "$dest/usr/bin/$program" ] || fail "/usr/bin/$program is not executable"
done
echo "$(wc -l <"$expected") files, as listed"

stage "desktop entry"
desktop=$dest/usr/share/applications/$app_id.desktop
# Warnings count as failures too: the validator exits 0 on them.
out=$(desktop-file-validate "$desktop" 2>&1) || { echo "$out"; fail "desktop-file-validate failed"; }
[ -z "$out" ] || { echo "$out"; fail "desktop-file-validate warned"; }
grep -qx 'Exec=gridlume-voice-manager %f' "$desktop" || fail "Exec= must start the program with at most one file"
grep -qx 'MimeType=application/x-gridlume-voice-bank;' "$desktop" || fail "MimeType= must name the voice bank type"
icon=$(sed -n 's/^Icon=//p' "$desktop")
for size in 16 32 48 64 128 256; do
  [ -f "$dest/usr/share/icons/hicolor/${size}x${size}/apps/$icon.png" ] || fail "no ${size} px icon named $icon"
done
# Wayland matches the window to its desktop entry by this name.
grep -q "setDesktopFileName(QStringLiteral(\"$app_id\"))" app/Application.cpp ||
  fail "app/Application.cpp must call setDesktopFileName(\"$app_id\") to match $app_id.desktop"
echo "valid"

# A 0.1 s mono 16-bit WAV of silence, for the banks built below.
le16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $((($1 >> 16) & 65535)); }
data_bytes=8820
{
  printf 'RIFF'; le32 $((36 + data_bytes)); printf 'WAVEfmt '
  le32 16; le16 1; le16 1; le32 44100; le32 88200; le16 2; le16 16
  printf 'data'; le32 "$data_bytes"; head -c "$data_bytes" /dev/zero
} >"$work/quiet.wav"

stage "voice bank file type"
# The package XML builds a MIME database of its own (never the system's),
# which must know the type by its glob and by its first 16 bytes.
mime=$work/mime
mkdir -p "$mime/packages"
cp "$dest/usr/share/mime/packages/$package.xml" "$mime/packages/"
# In the search path it is told of, so it prints nothing but real warnings.
mime_env=(env XDG_DATA_DIRS="$work" XDG_DATA_HOME="$work/no-data-home")
out=$("${mime_env[@]}" update-mime-database "$mime" 2>&1) || { echo "$out"; fail "update-mime-database failed"; }
[ -z "$out" ] || { echo "$out"; fail "update-mime-database warned"; }
grep -q '^50:application/x-gridlume-voice-bank:\*\.glw$' "$mime/globs2" ||
  fail "the MIME database has no *.glw glob for the voice bank"
grep -qa 'TS60S MALP-ECV E' "$mime/magic" || fail "the MIME database has no magic for the voice bank"
if command -v gio >/dev/null; then
  # By content alone: a bank under a name without the extension.
  "$dest/usr/bin/glwtool" build "$work/typed/TYPED.glw" "$work/quiet.wav" >/dev/null
  mv "$work/typed/TYPED.glw" "$work/typed/bank.bin"
  type=$("${mime_env[@]}" gio info -a standard::content-type "$work/typed/bank.bin" | sed -n 's/^ *standard::content-type: //p')
  [ "$type" = application/x-gridlume-voice-bank ] || fail "a bank without its extension was taken for '$type'"
fi
echo "valid"

stage "AppStream metadata"
metainfo=$dest/usr/share/metainfo/$app_id.metainfo.xml
appstreamcli validate --no-net "$metainfo"
# The tree check also finds the desktop entry the metadata launches.
appstreamcli validate-tree --no-net "$dest"

stage "manual pages"
for page in "$dest"/usr/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "$warnings"; fail "$(basename "$page") has formatting warnings"; }
  echo "$(basename "$page"): no warnings"
done

stage "cpack -G DEB"
(cd "$build" && cpack -G DEB -B "$work/package" >/dev/null)
debs=("$work"/package/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single .deb"
deb=${debs[0]}
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libopenal1 libsndfile1 libsoxr0 libebur128-1 libstdc++6; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: dpkg-shlibdeps did not run"
done
dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\.||' | LC_ALL=C sort >"$work/packaged.txt"
diff -u "$expected" "$work/packaged.txt" || fail "the package's files differ from res/linux/installed-files.txt"
cp "$deb" "$build/"
echo "$build/$(basename "$deb")"

stage "apt-get install ./$(basename "$deb")"
if is_installed "$package"; then
  echo "($package was installed before; it is left installed)"
else
  installed_packages >"$work/packages-before.txt"
  installed_by_us=1
fi
# apt reads a local package as its sandbox user; give it a readable copy.
chmod 755 "$work/package" && chmod 644 "$deb"
if ! apt_get install -y -q "$deb"; then
  apt_get update -q
  apt_get install -y -q "$deb"
fi

stage "the installed programs"
version=$(dpkg-deb -f "$deb" Version)
version=${version%-*}
out=$(/usr/bin/glwtool --version)
[ "$out" = "glwtool $version" ] || fail "/usr/bin/glwtool --version said '$out', not 'glwtool $version'"
echo "$out"

# A bank round trip through the installed glwtool: built, checked and
# unpacked.
/usr/bin/glwtool build "$work/bank/CHECK.glw" "$work/quiet.wav"
/usr/bin/glwtool info "$work/bank/CHECK.glw" >/dev/null || fail "glwtool info refused the bank glwtool built"
/usr/bin/glwtool extract "$work/bank/CHECK.glw" "$work/rows" >/dev/null
[ -f "$work/rows/01.wav" ] || fail "glwtool extract wrote no 01.wav"
man -w glwtool >/dev/null && man -w gridlume-voice-manager >/dev/null || fail "man cannot find the installed pages"

# The app on the offscreen platform with the null sound backend, ended with
# SIGTERM once it runs (the installed program has no test hooks); a
# terminated window writes its settings as its Close button does. Its
# settings go to a folder of our own.
config=$work/config
runtime=$work/runtime
mkdir -p "$config" && mkdir -m 700 "$runtime"
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen ALSOFT_DRIVERS=null \
  XDG_CONFIG_HOME="$config" XDG_RUNTIME_DIR="$runtime" \
  /usr/bin/gridlume-voice-manager &
app=$!
for _ in $(seq 100); do
  [ -e "$runtime/GLMWaveComposerApp.socket" ] && break
  sleep 0.1
done
sleep 1  # the window's start after it took the lock
kill -TERM "$app"
wait "$app" || fail "/usr/bin/gridlume-voice-manager did not start and end on SIGTERM (status $?)"
ini=$config/Vantor/gridlume-voice-manager/gridlume-voice-manager.ini
[ -f "$ini" ] || fail "the app wrote no settings at $ini"
echo "gridlume-voice-manager started, ended on SIGTERM and wrote $ini"
grep -q GLW_TEST /usr/bin/gridlume-voice-manager && fail "the installed program holds a test switch"

echo
echo "All install checks passed."
