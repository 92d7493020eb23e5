#!/usr/bin/env bash
# Where the tests stand against the code: non-blank C++ lines (.h, .cc) of the files git knows,
# by top folder. Tests are everything under tests/; code is every other folder but bench/ (the
# host simulator in host/ counts as code). Prints each folder's lines, then both sums and the
# tests' share of the code; tests/ is broken down by its own folders.
# Usage: scripts/count-lines.sh
set -euo pipefail
cd "$(dirname "$0")/.."

# Non-blank lines of the C++ files under $1 that git knows.
count() {
    git ls-files -- "$1" | grep -E '\.(cc|h)$' | tr '\n' '\0' | xargs -0 -r cat | grep -cv '^[[:space:]]*$' || true
}

code=0
printf '%-22s %7s\n' "code" "lines"
for folder in $(git ls-files | grep -E '\.(cc|h)$' | cut -d/ -f1 | sort -u); do
    case "$folder" in tests|bench) continue ;; esac
    lines="$(count "$folder")"
    code=$((code + lines))
    printf '  %-20s %7d\n' "$folder/" "$lines"
done
printf '%-22s %7s\n' "tests" ""
for folder in $(git ls-files tests | grep -E '\.(cc|h)$' | cut -d/ -f2 | sort -u); do
    printf '  %-20s %7d\n' "tests/$folder/" "$(count "tests/$folder")"
done
tests="$(count tests)"
printf '%-22s %7d\n%-22s %7d\n' "code, in all" "$code" "tests, in all" "$tests"
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests / code           %6.1f %%\n", 100 * t / c }'
