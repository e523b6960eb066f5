#!/usr/bin/env bash
# Checks that the sources keep the tree's format: lines within 120 columns
# and, where clang-format is installed, its style (.clang-format).
# Usage: check_format.sh SOURCE_DIR [CLANG_FORMAT]
set -uo pipefail
cd "$1" || exit 1
mapfile -t files < <(find app audio files keys sequencer services sound assets tests bench -name '*.h' -o -name '*.cpp' | sort)
status=0
if awk 'length > 120 { print FILENAME ":" FNR ": " length " columns"; bad = 1 } END { exit bad }' "${files[@]}"; then
  :
else
  status=1
fi
if [ -n "${2:-}" ]; then
  "$2" --dry-run --Werror --style=file "${files[@]}" || { echo "clang-format -i fixes the style"; status=1; }
fi
[ $status = 0 ] && echo "${#files[@]} sources in format"
exit $status
