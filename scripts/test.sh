#!/usr/bin/env bash
# Builds the plug-in and its tests for 64-bit Windows and runs them under wine.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
velmora_install
velmora_build
trap 'velmora_wine_stop; velmora_full_disk_unmount' EXIT
velmora_wine_start
velmora_full_disk_mount
cd "$VELMORA_BUILD"
ctest --output-on-failure -j 2 "$@"
