#!/usr/bin/env bash
# Builds the plug-in and packs the folder a FAR user drops into FAR's Plugins folder:
# out/Velmora3-<version>-x64.zip holding Velmora3/ with the DLL, the language and help files and a readme.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
velmora_install
velmora_build --target Velmora3

version=$(sed -n 's/^project(Velmora3 VERSION \([0-9.]*\).*/\1/p' "$VELMORA_ROOT/CMakeLists.txt")
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/Velmora3"
cp "$VELMORA_BUILD/bin/Velmora3.dll" "$VELMORA_BUILD"/bin/*.lng "$VELMORA_BUILD"/bin/*.hlf "$stage/Velmora3/"
# Windows users open it with Notepad: CR LF line ends.
sed 's/$/\r/' "$VELMORA_ROOT/src/plugin/Velmora3.txt" > "$stage/Velmora3/Velmora3.txt"

mkdir -p "$VELMORA_ROOT/out"
zip_file="$VELMORA_ROOT/out/Velmora3-$version-x64.zip"
rm -f "$zip_file"
(cd "$stage" && zip -q -r -X "$zip_file" Velmora3)
echo "$zip_file"
unzip -l "$zip_file"
