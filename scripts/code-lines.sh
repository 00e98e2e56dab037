#!/bin/bash
# Code lines (not blank, not comments) of the C++ under src/ and tests/, and their ratio.
#   scripts/code-lines.sh [tree]
set -euo pipefail
root=${1:-$(dirname "$0")/..}
count() {
    find "$1" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print0 | xargs -0 cat | awk '
        {
            s = $0
            gsub(/^[ \t\r]+|[ \t\r]+$/, "", s)
            if (inComment) {
                if (index(s, "*/") == 0) next
                inComment = 0
                s = substr(s, index(s, "*/") + 2)
                gsub(/^[ \t]+/, "", s)
            }
            if (s == "" || s ~ /^\/\//) next
            if (s ~ /^\/\*/) {
                if (index(s, "*/") == 0) inComment = 1
                next
            }
            n++
        }
        END { print n + 0 }'
}
src=$(count "$root/src")
tests=$(count "$root/tests")
awk -v s="$src" -v t="$tests" 'BEGIN { printf "src %d tests %d ratio %.3f\n", s, t, t / s }'
