#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every source file of ours says its licence in its first three lines: C++, JavaScript, HTML, CMake and
# scripts. Files taken from elsewhere (Leaflet, copied at build time) are not in the tree.
set -euo pipefail
cd "${SOURCE_DIR:?}"
line='SPDX-License-Identifier: GPL-3.0-or-later'
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files)
else
  mapfile -t files < <(find . -path ./build -prune -o -path ./.git -prune -o -type f -print | sed 's|^\./||')
fi
missing=0
checked=0
for f in "${files[@]}"; do
  [ -f "$f" ] && [ ! -L "$f" ] || continue
  case "$f" in
    *.cpp|*.h|*.cc|*.hpp|*.c|*.js|*.htm|*.html|*.cmake|*/CMakeLists.txt|CMakeLists.txt|*.sh|*.py|*.pl|scripts/*|.ci/run) ;;
    *) continue ;;
  esac
  checked=$((checked + 1))
  if ! head -n 3 "$f" | grep -qF "$line"; then
    echo "no licence line: $f"
    missing=$((missing + 1))
  fi
done
echo "$checked files checked, $missing without the licence line"
[ "$checked" -gt 100 ] && [ "$missing" -eq 0 ]
