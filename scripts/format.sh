#!/usr/bin/env bash
# Formats every C++ file of the tree (.cc and .h that git tracks or would track: no build
# folders) with the repository's .clang-format. With --check it changes nothing, names the files
# that are not formatted, and fails when there is one. CLANG_FORMAT picks the program (default
# clang-format, version 14 on Debian 12; other versions format some constructs differently).
#
# Usage: scripts/format.sh [--check]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

check=0
case "${1:-}" in
    --check) check=1 ;;
    "") ;;
    *) sed -n 's/^# Usage: //p' "${BASH_SOURCE[0]}" >&2; exit 2 ;;
esac
clang_format="${CLANG_FORMAT:-clang-format}"
command -v "$clang_format" > /dev/null \
    || { echo "format: no $clang_format (scripts/setup.sh installs it)" >&2; exit 1; }

files=()
while IFS= read -r -d '' file; do
    [ -f "$file" ] && files+=("$file")  # not a tracked file deleted from the tree
done < <(git ls-files -z --cached --others --exclude-standard -- '*.cc' '*.h')
[ ${#files[@]} -gt 0 ] || { echo "format: no C++ files found" >&2; exit 1; }

if [ "$check" = 0 ]; then
    "$clang_format" -i "${files[@]}"
    exit 0
fi
if ! report="$("$clang_format" --dry-run --Werror "${files[@]}" 2>&1)"; then
    mapfile -t unformatted < <(sed -n \
        's/^\([^:]*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' <<< "$report" \
        | sort -u)
    if [ ${#unformatted[@]} -eq 0 ]; then
        echo "$report" >&2  # clang-format itself failed
    else
        echo "format: not formatted per .clang-format (scripts/format.sh formats them):" >&2
        printf '  %s\n' "${unformatted[@]}" >&2
    fi
    exit 1
fi
echo "format: ${#files[@]} C++ files formatted per .clang-format"
