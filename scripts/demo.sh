#!/usr/bin/env bash
# Builds the plug-in and runs it in the test host on sample trees it makes.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
velmora_install
velmora_build
trap velmora_wine_stop EXIT
velmora_wine_start
"$VELMORA_WINE" "$VELMORA_BUILD/bin/velmora_demo.exe" "$@"
