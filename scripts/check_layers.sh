#!/usr/bin/env bash
# The node's folders below the views use Qt Core and Network only: every Qt header they
# include must be one of those modules', and no header of the views. Usage: check_layers.sh DIR... (the include folders of those modules).
set -euo pipefail
cd "${GULLWICK_SOURCE:-$(dirname "$0")/..}"
dirs=("$@")
found() {
    local dir
    for dir in "${dirs[@]}"; do [[ -e $dir/$1 ]] && return 0; done
    return 1
}
folders=(node/common node/server node/tnc node/core node/ip node/setup node/web)
bad=0
while IFS=: read -r file line text; do
    header=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*<([^>]+)>.*/\1/' <<<"$text")
    case $header in
    QtCore/* | QtNetwork/*) continue ;;
    Qt*/*) ;;
    *) found "$header" && continue ;;
    esac
    echo "$file:$line: <$header> is not a Qt Core or Network header" >&2
    bad=1
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' "${folders[@]}" \
    --include='*.h' --include='*.cpp' || true)
if grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"gui/' "${folders[@]}" >&2; then
    bad=1
fi
if ((bad)); then
    echo "layers: the folders below the views must not use widgets or Qt GUI" >&2
    exit 1
fi
echo "layers: ${folders[*]} use Qt Core and Network only"
