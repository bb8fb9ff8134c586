#!/usr/bin/env bash
# Runs one benchmark in a real console: a detached tmux session gives the program a terminal, so
# every console call (titles, progress) costs what it costs in FAR. Prints what the benchmark printed.
#   bash scripts/bench.sh SyncCopyBench [arguments]     (DiscoverBench, CompareContentsBench, ...)
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
velmora_install
command -v tmux >/dev/null || { apt-get install -y -qq tmux >/dev/null || sudo apt-get install -y -qq tmux; }
bench=${1:?which benchmark}
shift
velmora_build --target "$bench" Velmora3 >/dev/null
trap velmora_wine_stop EXIT
velmora_wine_start
out=$(mktemp)
session=velmora-bench-$$
quoted=$(printf ' %q' "$@")
tmux new-session -d -s "$session" -x 120 -y 40 \
  "'$VELMORA_WINE' '$VELMORA_BUILD/bin/$bench.exe'$quoted >'$out' 2>&1; echo \$? >'$out.rc'"
while [ ! -f "$out.rc" ]; do sleep 1; done
tmux kill-session -t "$session" 2>/dev/null || true
cat "$out"
rc=$(cat "$out.rc")
rm -f "$out" "$out.rc"
exit "$rc"
