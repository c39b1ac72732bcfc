#!/usr/bin/env bash
# Installs the build into a staging folder (DESTDIR, prefix /usr) as the
# Debian package does and runs the installed programs from there:
#   install_test.sh BUILD_DIR
# Every program answers --version and has a manual page; every installed
# program and library finds its libraries through an $ORIGIN-relative run
# path; norwin-regsvr registers the installed record library by its name in
# a prefix of its own and lumo-script creates a record object through it;
# `lumo --demo` finds the installed demo course; and, with a display, the
# installed lumo opens a course whose page script reaches window.external and
# a record object (so its web extension was found).
set -euo pipefail

build=$(cd "$1" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/install-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "install test: $*" >&2; exit 1; }

DESTDIR="$work/root" cmake --install "$build" --prefix /usr >"$work/install.log" ||
  { cat "$work/install.log" >&2; fail "cmake --install failed"; }
usr="$work/root/usr"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")

# The programs: every one in bin/, at least these.
for name in lumo lumo-script lumo-index lumo-content norwin-reg norwin-regsvr norwin-server; do
  [ -x "$usr/bin/$name" ] || fail "$name is not installed"
done
for program in "$usr"/bin/*; do
  name=$(basename "$program")
  answer=$(env -u DISPLAY -u WAYLAND_DISPLAY NORWIN_PREFIX="$work/version-prefix" \
    "$program" --version) || fail "$name --version failed"
  # "NAME (Lumo) VERSION", the form help2man reads: the name and the project's version.
  [[ ${answer,,} == "$name "* && $answer == *" $version" ]] || fail "$name --version printed '$answer'"
  gzip -cdf "$usr/share/man/man1/$name.1"* 2>/dev/null | grep -q '^\.TH' ||
    fail "$name has no manual page"
done

# Run paths: relative to the file's own folder, never into the build folder.
while IFS= read -r -d '' file; do
  head -c 4 "$file" | grep -q 'ELF' || continue
  runpath=$(readelf -d "$file" | sed -n 's/.*(R\(UN\)\{0,1\}PATH).*\[\(.*\)\]/\2/p')
  case "$runpath" in
    *"$build"*) fail "$file runs with libraries of the build folder ($runpath)" ;;
  esac
  IFS=: read -r -a parts <<<"$runpath"
  for part in "${parts[@]}"; do
    [[ $part == '$ORIGIN'* ]] || fail "$file has the run path $runpath"
  done
done < <(find "$usr" -type f -print0)

libdir=$(dirname "$(find "$usr/lib" -name 'libnorwin2003.so')")
[ -d "$libdir" ] || fail "libnorwin2003.so is not installed"
soname=$(readelf -d "$libdir/libnorwin-automation.so.0" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libnorwin-automation.so.0 ] || fail "the automation runtime's SONAME is '$soname'"
[ -f "$libdir/lumo-webext/liblumo-webext.so" ] || fail "the web extension is not in $libdir/lumo-webext"
[ "$(ls "$libdir/lumo-webext")" = liblumo-webext.so ] || fail "lumo-webext/ holds more than the extension"
for file in share/lumo/js/automation.js share/lumo/js/external.js share/lumo/demo-course/demo.cfg \
    share/lumo/demo-course/index/words.idx share/icons/hicolor/scalable/apps/lumo.svg \
    share/mime/packages/lumo.xml; do
  [ -s "$usr/$file" ] || fail "$file is not installed"
done
desktop-file-validate "$usr/share/applications/lumo.desktop" || fail "lumo.desktop is not valid"
grep -q '^MimeType=application/x-lumo-course;' "$usr/share/applications/lumo.desktop" ||
  fail "lumo.desktop names no MIME type for course files"
grep -q 'glob pattern="\*.cfg"' "$usr/share/mime/packages/lumo.xml" || fail "no MIME type for .cfg"

# The record library, registered by its name in a prefix of the test's own,
# and a record object made through the registration.
export NORWIN_PREFIX="$work/prefix"
export NORWIN_PROMPT_LOG="$work/prompts.log"
"$usr/bin/norwin-regsvr" /s libnorwin2003.so || fail "norwin-regsvr libnorwin2003.so failed"
clsid=$("$usr/bin/norwin-reg" query 'HKCR\NorwinPellam2003.Encryption\CLSID' /ve |
  sed -n 's/.*REG_SZ *//p' | tr -d '\r')
server=$("$usr/bin/norwin-reg" query "HKCR\\CLSID\\$clsid\\InprocServer32" /ve |
  sed -n 's/.*REG_SZ *//p' | tr -d '\r')
[ "$server" = "$libdir/libnorwin2003.so" ] || fail "the registry names '$server' as the library"
cat >"$work/digest.js" <<'JS'
var digest = new ActiveXObject("NorwinPellam2003.Encryption");
WScript.Echo(digest.Encrypt("abc"));
JS
answer=$("$usr/bin/lumo-script" "$work/digest.js") || fail "lumo-script failed: $answer"
[ "$answer" = 900150983cd24fb0d6963f7d28e17f72 ] || fail "lumo-script printed '$answer'"

# lumo --demo loads the settings of the installed demo course; without a
# display it stops short of the window.
answer=$(env -u DISPLAY -u WAYLAND_DISPLAY "$usr/bin/lumo" --demo 2>&1) || true
[ "$answer" = "lumo: cannot open a window: no display" ] || fail "lumo --demo printed: $answer"

if [ -z "${DISPLAY:-}" ]; then
  echo "install test: no display, the installed lumo's window was not tried"
  exit 0
fi
course="$work/course"
mkdir -p "$course/progress"
printf '[general]\nrun=\\start.htm\ntitle=Installed\ncx=420\ncy=300\n' >"$course/test.cfg"
cat >"$course/start.htm" <<'HTML'
<html><body><script>
var ext = window.external;
ext.SetKey("Software\\InstallTest");
ext.setCookie("md5", new ActiveXObject("NorwinPellam2003.Encryption").Encrypt("abc"));
ext.Stop();
</script></body></html>
HTML
mkdir -p "$NORWIN_PREFIX/drives"
ln -sfn "$course" "$NORWIN_PREFIX/drives/e"
"$usr/bin/norwin-reg" add 'HKCU\Software\InstallTest' /v Path /d 'e:\progress' /f >/dev/null
timeout 90 "$usr/bin/lumo" 'e:\test.cfg' || fail "the installed lumo ended with status $?"
grep -q '^md5=900150983cd24fb0d6963f7d28e17f72' "$course/progress/tck.txt" ||
  fail "the installed lumo's page did not reach window.external and the record library"
echo "install test: passed"
