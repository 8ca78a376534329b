#!/usr/bin/env bash
# Fails when a C++ source differs from what .clang-format asks for. Only the
# sources of the tree are checked; build folders and generated files are not.
set -euo pipefail
cd "$(dirname "$0")/.."
format=${CLANG_FORMAT:-clang-format-14}
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files -z -- '*.h' '*.cpp' | xargs -0 "$format" --dry-run -Werror --style=file
else
  find . \( -name 'build*' -o -name .git \) -prune -o \( -name '*.h' -o -name '*.cpp' \) -print0 \
    | xargs -0 "$format" --dry-run -Werror --style=file
fi
