#!/usr/bin/env bash
# The product code (every source folder and the benchmarks) is formatted as the repository's
# .clang-format says, by clang-format 14: the version whose output the file was written for.
#   tests/format_check.sh <clang-format>
set -euo pipefail
tool=${1:-clang-format}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
version=$("$tool" --version 2>/dev/null || true)
case "$version" in
  *" version 14."*) ;;
  *) echo "clang-format 14 is needed (scripts/setup installs it); found: ${version:-none}" >&2; exit 1 ;;
esac
cd "$root"
files=$(find base protocol net update display install ui app tools bench -name '*.cpp' -o -name '*.h' | sort)
# --dry-run --Werror names every file that differs and each place in it.
if ! "$tool" --style=file --dry-run --Werror $files; then
  echo "format with: $tool -i --style=file <file>" >&2
  exit 1
fi
echo "$(echo "$files" | wc -l) files formatted as .clang-format says"
