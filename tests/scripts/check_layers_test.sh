#!/usr/bin/env bash
# Feeds scripts/check_layers.sh a small tree that keeps the layers, then the same tree with one
# bad include at a time: each must be refused, naming the file.
# Usage: check_layers_test.sh QT_HEADERS
set -euo pipefail
check=$(dirname "$0")/../../scripts/check_layers.sh
qt=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

good=$work/good
put() { mkdir -p "$(dirname "$good/$1")" && printf '%s\n' "${@:2}" >>"$good/$1"; }
put node/app/CMakeLists.txt 'add_library(gw_app STATIC node_run.cpp)' \
    'add_executable(brevane main.cpp)' 'add_executable(brevane-gui gui_main.cpp)' \
    'target_link_libraries(brevane-gui PRIVATE gw_app gw_gui Qt6::Widgets)'
put node/app/main.cpp '#include <QCoreApplication>' '#include "web/web_server.h"'
put node/app/gui_main.cpp '#include <QApplication>' '#include "gui/frm_main.h"'
put node/gui/frm_main.cpp '#include <QWidget>' '#include "core/node_core.h"'
put node/web/web_server.cpp '#include <QHttpServer>' '#include "core/node_core.h"'
put node/core/node_core.cpp '#include <QTimer>' '#include <QtNetwork/QHostAddress>' \
    '#include <queue>' '#include "server/spool.h"' '#include "ip/ping_control.h"'
put node/tnc/ckiss.cpp '#include "ax25/station.h"' '#include "common/clock.h"'
put node/ax25/station.cpp '#include "common/clock.h"'

GULLWICK_SOURCE=$good bash "$check" "$qt" >/dev/null || { echo "FAIL: the good tree is refused"; exit 1; }

failed=0
refused() {
    local file=$1 include=$2 tree=$work/case$((++cases))
    cp -r "$good" "$tree"
    mkdir -p "$(dirname "$tree/$file")"
    echo "#include $include" >>"$tree/$file"
    if GULLWICK_SOURCE=$tree bash "$check" "$qt" 2>"$tree.err" >/dev/null ||
        ! grep -q "^$file:" "$tree.err"; then
        echo "FAIL: $include in $file is not refused"
        failed=1
    fi
}
cases=0
# Each line: a file of the tree, and the include that breaks the layers there.
while read -r file include; do refused "$file" "$include"; done <<'CASES'
node/core/bad.cpp <QtWidgets>
node/core/bad.cpp <QtGui>
node/core/bad.h <QColor>
node/core/bad.h <QtWidgets/QPushButton>
node/web/web_server.cpp <QPushButton>
node/server/bad.cpp "core/node_core.h"
node/core/bad.cpp "web/web_server.h"
node/tnc/bad.cpp "core/node_core.h"
node/ax25/bad.cpp "tnc/ckiss.h"
node/common/bad.cpp "../server/spool.h"
node/app/main.cpp <QWidget>
node/app/node_run.cpp "gui/frm_main.h"
tools/smsd/bad.cpp "core/node_core.h"
CASES
((failed)) && exit 1
echo "layers check: the good tree passes, $cases bad includes refused"
