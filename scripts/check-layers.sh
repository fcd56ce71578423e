#!/usr/bin/env bash
# Checks that every file of src/ includes only its own layer and the layers below it:
#   base -> serial -> device -> {config, firmware, discovery, webupdate} -> production
#   -> {cli, app}
# with the Qt kit (src/widgets) above device and below the windows (src/*/ui, src/app).
# The production line (src/production) uses config and firmware; no window uses it.
set -euo pipefail
cd "$(dirname "$0")/../src"
rank() {
  case "$1" in
    base) echo 0 ;; serial) echo 1 ;; device) echo 2 ;;
    config|firmware|discovery|webupdate) echo 3 ;;
    widgets|production) echo 4 ;; ui) echo 5 ;; cli|app) echo 6 ;;
    *) echo 9 ;;
  esac
}
status=0
while IFS= read -r -d '' file; do
  dir=$(dirname "$file"); layer=${dir%%/*}
  [[ "$dir" == */ui ]] && layer=ui
  own=$(rank "$layer")
  while IFS= read -r inc; do
    target=${inc%%/*}
    [[ "$inc" == */ui/* ]] && target=ui
    other=$(rank "$target")
    [ "$other" -eq 9 ] && continue
    # Subsystems of one layer do not include each other (config does not know
    # firmware, the production line knows no Qt kit).
    if [ "$other" -gt "$own" ] || { [ "$other" -eq "$own" ] && [ "$own" -ge 3 ] && [ "$own" -le 4 ] && [ "$target" != "$layer" ]; }; then
      echo "$file includes $inc"; status=1
    fi
  done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done < <(find . -name '*.h' -print0 -o -name '*.cpp' -print0 | sed -z 's|^\./||')
if [ $status -eq 0 ]; then echo "layers: no include goes up or across"; fi
exit $status
