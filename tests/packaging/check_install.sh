#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR with prefix /usr and checks what lands there:
# exactly the expected files, runnable programs, a valid launcher entry, the icons at their
# sizes and readable manual pages.
# usage: check_install.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR=$dest cmake --install "$build" --prefix /usr > "$dest.log" 2>&1 ||
  { cat "$dest.log" >&2; rm -f "$dest.log"; fail "cmake --install failed"; }
rm -f "$dest.log"
root=$dest/usr

sizes=(16 24 32 48 64 128 256)
expected=(bin/emutune bin/emutool bin/emu-sim
          share/applications/emutune.desktop share/mime/packages/emutune.xml
          share/icons/hicolor/scalable/apps/emutune.svg
          share/man/man1/emutune.1 share/man/man1/emutool.1 share/man/man1/emu-sim.1)
for s in "${sizes[@]}"; do expected+=("share/icons/hicolor/${s}x${s}/apps/emutune.png"); done
diff <(printf '%s\n' "${expected[@]}" | sort) <(cd "$root" && find . -type f | sed 's|^\./||' | sort) ||
  fail "installed files differ from the expected list (< expected, > installed)"

for p in emutune emutool emu-sim; do
  [ -x "$root/bin/$p" ] || fail "$p is not executable"
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/bin/$p" --version) || fail "$p --version failed"
  [ "$out" = "$p $version" ] || fail "$p --version printed '$out'"
done

desktop=$root/share/applications/emutune.desktop
grep -qx 'Exec=emutune %f' "$desktop" || fail "Exec line"
grep -qx 'Icon=emutune' "$desktop" || fail "Icon line"
mime=$(sed -n 's/^MimeType=\(.*\);$/\1/p' "$desktop")
grep -q "<mime-type type=\"$mime\">" "$root/share/mime/packages/emutune.xml" ||
  fail "the launcher's MIME type '$mime' is not declared"
if command -v desktop-file-validate > /dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate"
else
  echo "note: desktop-file-validate not installed, launcher checked by its key lines only"
fi

# A PNG's width and height are the big-endian words at bytes 16 and 20.
for s in "${sizes[@]}"; do
  png=$root/share/icons/hicolor/${s}x${s}/apps/emutune.png
  [ "$(head -c 8 "$png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "$png is no PNG"
  dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')
  [ "$dims" = "${s}x${s}" ] || fail "$png is $dims"
done
grep -q '<svg ' "$root/share/icons/hicolor/scalable/apps/emutune.svg" || fail "SVG icon"

for m in emutune emutool emu-sim; do
  page=$root/share/man/man1/$m.1
  head -1 "$page" | grep -q "^\.TH $(echo "$m" | tr a-z A-Z) 1 " || fail "$m.1 has no title line"
  if command -v groff > /dev/null; then
    warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
    [ -z "$warnings" ] || fail "$m.1: $warnings"
    groff -man -Tascii -P-cbou "$page" 2>/dev/null | grep -q -- '--version' || fail "$m.1 lacks --version"
  fi
done
echo "installed files OK"
