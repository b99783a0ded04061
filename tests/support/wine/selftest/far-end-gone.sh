#!/bin/bash
# Drives FarEndGone.exe: the board at the far end of COMn is stopped once the
# program's wait and read are pending.
#   far-end-gone.sh BOARD RUN-UNDER-WINE FarEndGone.exe COMn
set -uo pipefail
board=$1 run=$2 program=$3 port=$4
dir=$(mktemp -d "${TMPDIR:-/tmp}/far-end-gone.XXXXXX") || exit 125
trap 'kill "$board_pid" 2>/dev/null; rm -rf "$dir"' EXIT
"$board" --link "$dir/board.tty" </dev/null >"$dir/board.log" 2>&1 &
board_pid=$!
for _ in $(seq 100); do [[ -L $dir/board.tty ]] && break; sleep 0.05; done
"$run" --timeout 60 --com "$port=$dir/board.tty" "$program" "$port" "Z:${dir//\//\\}\\ready" &
run_pid=$!
for _ in $(seq 400); do [[ -e $dir/ready ]] && break; sleep 0.05; done
[[ -e $dir/ready ]] || echo "far-end-gone: the program never got ready" >&2
kill "$board_pid"
wait "$board_pid"
echo "far-end-gone: board stopped"
status=0
wait "$run_pid" || status=$?
exit "$status"
