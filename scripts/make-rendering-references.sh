#!/usr/bin/env bash
# Makes the RTF files of the wizard's side-by-side rendering test, and
# LibreOffice's rendering of each as the reference the test compares with:
#
#   tests/wizard/rendering/NAME.fodt             the small document, written by hand
#   tests/wizard/rendering/NAME.rtf              LibreOffice's RTF of it
#   tests/wizard/rendering/NAME.reference.html   the word boxes of LibreOffice's PDF of
#                                                that RTF (pdftotext -bbox), in points
#   tests/wizard/rendering/NAME.reference.images its pictures (pdfimages -list)
#
# An RTF file without a .fodt beside it was written by hand, shaped as other
# word processors write theirs: it is left as it is, and its references come
# from LibreOffice's PDF of it.
#
#   scripts/make-rendering-references.sh [NAME...]
#
# Without names it remakes every document's references; with names only
# those, so the others' files stay as committed. Run it once after changing a
# document, and commit what it writes: the test itself needs no LibreOffice. Needs Debian's libreoffice-writer-nogui and
# poppler-utils. LibreOffice sees only the fonts a test machine has
# (fonts-dejavu-core, which fontconfig brings), so both renderings use the
# same font files; its profile lives in a scratch folder.
set -euo pipefail
cd "$(dirname "$0")/../tests/wizard/rendering"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cat >"$scratch/fonts.conf" <<'CONF'
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <dir>/usr/share/fonts/truetype/dejavu</dir>
  <cachedir>SCRATCH/fontcache</cachedir>
  <include ignore_missing="yes">/etc/fonts/conf.d</include>
</fontconfig>
CONF
sed -i "s#SCRATCH#$scratch#" "$scratch/fonts.conf"
export FONTCONFIG_FILE="$scratch/fonts.conf"
# A French system, as the wizard's users have: decimal tab stops align on the
# decimal comma.
mkdir -p "$scratch/profile/user"
cat >"$scratch/profile/user/registrymodifications.xcu" <<'XCU'
<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Setup/L10N"><prop oor:name="ooSetupSystemLocale" oor:op="fuse"><value>fr-FR</value></prop></item>
</oor:items>
XCU
office=(soffice "-env:UserInstallation=file://$scratch/profile" --headless)

# LibreOffice's word boxes and pictures of NAME.rtf.
references() {
  local name=$1
  "${office[@]}" --convert-to pdf --outdir "$scratch" "$name.rtf" >/dev/null
  pdftotext -bbox "$scratch/$name.pdf" "$name.reference.html"
  pdfimages -list "$scratch/$name.pdf" >"$name.reference.images"
  echo "$name: $(grep -c '<word ' "$name.reference.html") words, $(($(wc -l <"$name.reference.images") - 2)) pictures"
}

if [ $# -gt 0 ]; then
  names=("$@")
else
  names=()
  shopt -s nullglob
  for source in *.fodt *.rtf; do
    name=${source%.*}
    [[ " ${names[*]} " == *" $name "* ]] || names+=("$name")
  done
fi
for name in "${names[@]}"; do
  if [ -e "$name.fodt" ]; then
    "${office[@]}" --convert-to rtf --outdir . "$name.fodt" >/dev/null
  elif [ ! -e "$name.rtf" ]; then
    echo "$name: neither $name.fodt nor $name.rtf" >&2
    exit 1
  fi
  references "$name"
done
