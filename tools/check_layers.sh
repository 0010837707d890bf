#!/usr/bin/env bash
# Checks the include rules between the source folders: each layer includes
# only itself and the layers below it. Prints every forbidden include and
# fails when there is one.
#
#   core           the standard library only
#   qdx/decode     core, qdx/block*.h, qdx/decode (no input, no encoder)
#   qdx            core, qdx (not qdx/encode)
#   qdx/encode     core, qdx/block*.h, qdx/decode, qdx/encode
#   rinex          core, qdx/block*.h, qdx/decode, rinex (no reader, no files)
#   convert        core, qdx (not qdx/encode), rinex, convert
#   app            everything but qdx/encode
#   tools/qdxgen   core, qdx/block*.h, qdx/decode, qdx/encode, itself
set -u
cd "$(dirname "$0")/.."

allowed() {  # allowed FILE INCLUDE: 0 when FILE may include INCLUDE
  local file=$1 inc=$2
  case $inc in */*) ;; *) [[ $file == tools/* ]] && return 0 ;; esac
  local framing='^qdx/block(_numbers)?\.h$'
  case $file in
    src/core/*) [[ $inc == core/* ]] ;;
    src/qdx/decode/*) [[ $inc == core/* || $inc == qdx/decode/* || $inc =~ $framing ]] ;;
    src/qdx/encode/*) [[ $inc == core/* || $inc == qdx/decode/* || $inc == qdx/encode/* || $inc =~ $framing ]] ;;
    src/qdx/*) [[ $inc == core/* || ($inc == qdx/* && $inc != qdx/encode/*) ]] ;;
    src/rinex/*) [[ $inc == core/* || $inc == qdx/decode/* || $inc == rinex/* || $inc =~ $framing ]] ;;
    src/convert/*) [[ $inc == core/* || $inc == rinex/* || $inc == convert/* || ($inc == qdx/* && $inc != qdx/encode/*) ]] ;;
    src/app/*) [[ $inc != qdx/encode/* && $inc != tests/* ]] ;;
    tools/*) [[ $inc == core/* || $inc == qdx/decode/* || $inc == qdx/encode/* || $inc =~ $framing ]] ;;
    *) return 0 ;;
  esac
}

status=0
while IFS=: read -r file inc; do
  inc=${inc#*\"}
  inc=${inc%\"*}
  if ! allowed "$file" "$inc"; then
    echo "$file includes \"$inc\", which its layer may not use"
    status=1
  fi
done < <(grep -rHE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' src tools)
exit $status
