#!/usr/bin/env bash
# Every relative link and picture of README.md points at a file or folder of
# the tree. Exit 1 naming the ones that do not.
set -euo pipefail
cd "$(dirname "$0")/.."
missing=0
while IFS= read -r target; do
  path="${target%%#*}"
  [ -z "$path" ] && continue
  if [ ! -e "$path" ]; then
    echo "README.md links to $path, which is not in the tree" >&2
    missing=1
  fi
done < <(grep -o '\]([^)]*)' README.md | sed 's/^](//; s/)$//; s/ .*//' | grep -v -E '^[a-z]+:' | sort -u)
exit $missing
