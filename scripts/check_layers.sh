#!/usr/bin/env bash
# The node's layers: which folders each folder may include (only those below it), which Qt
# modules it may use (Core and Network below the views), and no widget or view header in the
# headless program. Usage: check_layers.sh [QT_HEADERS] (Qt's include folder; by default what
# qtpaths6 says). GULLWICK_SOURCE names the tree to check (by default this repository).
set -euo pipefail
qt=${1:-$(qtpaths6 --query QT_INSTALL_HEADERS)}
cd "${GULLWICK_SOURCE:-$(dirname "$0")/..}"
[[ -d $qt/QtCore ]] || { echo "layers: no Qt headers in $qt" >&2; exit 2; }

# The tree's folders as includes name them, and what each part of the tree may include.
known=" common ax25 server tnc setup ip core web gui app ping pingclient "
core_below="common ax25 server tnc setup ip ping pingclient"
declare -A may_include=(
    [node/common]="common"
    [node/ax25]="common ax25"
    [node/server]="common server"
    [node/tnc]="common ax25 tnc"
    [node/setup]="common ax25 server tnc setup"
    [node/ip]="common ip ping pingclient"
    [node/core]="$core_below core"
    [node/web]="$core_below core web"
    [node/gui]="$core_below core gui"
    [headless]="$core_below core web app"
    [windows]="$core_below core web gui app"
    [tools]="common ping pingclient"
    [ping]="ping pingclient"
)
declare -A qt_modules=(
    [node/web]="QtCore QtNetwork QtHttpServer"
    [node/gui]="*"
    [windows]="*"
)

# Every Qt header by name, for class headers (<QWidget>) and module headers (<QtWidgets>).
declare -A qt_module_of=()
while read -r name module; do
    [[ -n ${qt_module_of[$name]:-} ]] || qt_module_of[$name]=$module
done < <(find "$qt" -mindepth 2 -maxdepth 2 -path "$qt/Qt*/*" -type f -printf '%f %h\n' |
    sed "s|$qt/||")

# The windows' program: node/app's sources of the targets that link gw_gui; every other file
# there belongs to the headless program.
declare -A windows_file=()
flat=$(sed 's/#.*//' node/app/CMakeLists.txt | tr '\n' ' ')
for target in $(grep -oE 'target_link_libraries\([[:space:]]*[^[:space:])]+[^)]*gw_gui\b' \
    <<<"$flat" | sed -E 's/target_link_libraries\([[:space:]]*([^[:space:]]+).*/\1/'); do
    for source in $(grep -oE "add_(executable|library)\([[:space:]]*$target[[:space:]][^)]*\)" \
        <<<"$flat" | grep -oE '[^[:space:]()]+\.(cpp|h)'); do
        windows_file[node/app/$source]=1
    done
done

part_of() {
    local rest=${1#*/}
    case $1 in
    node/app/*) [[ -n ${windows_file[$1]:-} ]] && part=windows || part=headless ;;
    node/*) part=node/${rest%%/*} ;;
    *) part=${1%%/*} ;;
    esac
}

bad=0
refuse() {
    echo "$1: $2" >&2
    bad=1
}
while IFS=: read -r file line text; do
    part_of "$file"
    [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*([\"\<])([^\">]+) ]] || continue
    header=${BASH_REMATCH[2]}
    while [[ $header == ../* ]]; do header=${header#../}; done
    first=${header%%/*}
    if [[ $header == */* && $known == *" $first "* ]]; then
        folders=${may_include[$part]:-}
        [[ " $folders " == *" $first "* ]] ||
            refuse "$file:$line" "\"$header\": $part may include only ${folders:-(no layer)}"
        continue
    fi
    [[ ${BASH_REMATCH[1]} == '<' ]] || continue
    if [[ $header == Qt*/* ]]; then
        module=$first
    elif [[ -n ${qt_module_of[$header]:-} ]]; then
        module=${qt_module_of[$header]}
    elif [[ $header == Q* ]]; then
        module="no Qt module"
    else
        continue
    fi
    allowed=${qt_modules[$part]:-QtCore QtNetwork}
    [[ $allowed == "*" || " $allowed " == *" $module "* ]] ||
        refuse "$file:$line" "<$header> is of $module; $part may use only $allowed"
done < <(find node tools ping -type f \( -name '*.h' -o -name '*.cpp' \) -print0 2>/dev/null |
    xargs -0 -r grep -nHE '^[[:space:]]*#[[:space:]]*include' || true)

if ((bad)); then
    echo "layers: an include above breaks the layers (common, ax25, server and tnc, setup, ip," \
        "core, then the views)" >&2
    exit 1
fi
echo "layers: every include points down the layers; below the views only Qt Core and Network"
