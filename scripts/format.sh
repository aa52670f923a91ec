#!/bin/sh
# Formats every C++ source git tracks with the project's .clang-format.
#   scripts/format.sh           rewrites the files in place
#   scripts/format.sh --check   changes nothing; lists what differs and exits 1
set -eu

cd "$(dirname "$0")/.."
sh scripts/deps.sh

FORMAT="${CLANG_FORMAT:-clang-format}"
files="$(git ls-files '*.cpp' '*.h')"
[ -n "$files" ] || exit 0

if [ "${1:-}" = "--check" ]; then
    report="$(mktemp)"
    # shellcheck disable=SC2086
    if ! "$FORMAT" --dry-run --Werror $files 2>"$report"; then
        grep -o '^[^:]*\.\(cpp\|h\):' "$report" | sort -u | sed 's/:$/: not formatted (run scripts\/format.sh)/' >&2
        rm -f "$report"
        exit 1
    fi
    rm -f "$report"
    echo "format: $(echo "$files" | wc -l) files formatted as .clang-format says"
    exit 0
fi
# shellcheck disable=SC2086
"$FORMAT" -i $files
