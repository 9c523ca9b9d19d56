#!/usr/bin/env bash
# The README's diagrams are what their sources in docs/diagrams draw: each .svg is rendered again
# from its .dot by graphviz and must be the same. Usage: check_diagrams.sh SOURCE-FOLDER
set -euo pipefail
status=0
for source in "$1"/docs/diagrams/*.dot; do
  if ! dot -Tsvg "$source" | cmp -s - "${source%.dot}.svg"; then
    echo "FAIL: ${source%.dot}.svg is not what $(basename "$source") draws: dot -Tsvg $source -o ${source%.dot}.svg"
    status=1
  fi
done
exit $status
