#!/usr/bin/env bash
# The layering check must catch each kind of wrong include and let the right ones pass.
set -u
checker="$(dirname "$0")/check_layers.sh"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
add() {  # add <file> <include line>
    mkdir -p "$tree/$(dirname "$1")"
    printf '%s\n' "$2" >> "$tree/$1"
}
# Must pass.
add src/capture/Fine.cpp '#include "app/MonitorApp.h"'
add src/capture/Fine.cpp '#include "capture/Recorder.h"'
add src/camcap/Fine.cpp '#include <gst/gst.h>'
add src/ui/Fine.cpp '#include <QWidget>'
add src/ui/Fine.cpp '#include "widgets/StyledButton.h"'
add src/resources/Fine.cpp '#include <QtGlobal>'
add src/widgets/Fine.cpp '#include "resources/IconResources.h"'
add tests/app/FineTest.cpp '#include "support/TestSupport.h"'
add src/motion/Fine.cpp '#include "capture/FrameTarget.h"'
# Must fail, one line each.
add src/common/Messages.cpp '#include "capture/DeviceInfo.h"'
add src/capture/Recorder.cpp '#include "config/CameraListFile.h"'
add src/app/Main.cpp '#include "config/CameraListFile.h"'
add src/config/List.cpp '  #  include <gst/gst.h>'
add src/app/Qt.cpp '#include <QtCore/QString>'
add src/camcap/Qt.cpp '#include <QObject>'
add src/ui/Gst.cpp '#include <glib.h>'
add tests/capture/WrongTest.cpp '#include "camcap/GstRef.h"'
add src/resources/Up.cpp '#include "widgets/StyledButton.h"'
add src/capture/Up.cpp '#include "motion/MotionWatch.h"'
add src/motion/Up.cpp '#include "camcap/GstRef.h"'

output=$(bash "$checker" "$tree")
status=$?
fail=0
[ "$status" -eq 1 ] || { echo "expected exit 1, got $status"; fail=1; }
for expected in src/common/Messages.cpp src/capture/Recorder.cpp src/app/Main.cpp \
                src/config/List.cpp src/app/Qt.cpp src/camcap/Qt.cpp src/ui/Gst.cpp \
                tests/capture/WrongTest.cpp src/resources/Up.cpp src/capture/Up.cpp \
                src/motion/Up.cpp; do
    echo "$output" | grep -q "^$expected:1:" || { echo "not reported: $expected"; fail=1; }
done
if echo "$output" | grep -q 'Fine'; then
    echo "reported an allowed include:"; echo "$output" | grep Fine; fail=1
fi
[ "$(echo "$output" | grep -c ':1: ')" -eq 11 ] || { echo "expected 11 reports:"; echo "$output"; fail=1; }
exit $fail
