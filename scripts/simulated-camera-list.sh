#!/usr/bin/env bash
# Writes a camera list naming the first N simulated cameras, as the settings dialog's
# discovery would save it, so that a machine without cameras shows them at start.
# Usage: simulated-camera-list.sh <CameraList.xml> <N>
set -euo pipefail
file=$1
count=$2
names=(前门 后门 仓库 停车场 大厅 走廊 机房 车间 办公室 楼梯)
{
    echo '<?xml version="1.0" ?>'
    echo '<CameraList>'
    for ((i = 0; i < count && i < 10; i++)); do
        cat <<ITEM
    <Item>
        <DeviceIndex>$i</DeviceIndex>
        <DeviceName>Simulated Camera $((i + 1))</DeviceName>
        <CustomDeviceName>${names[$i]}</CustomDeviceName>
        <Width>640</Width>
        <Height>480</Height>
        <FrameRate>30</FrameRate>
    </Item>
ITEM
    done
    echo '</CameraList>'
} > "$file"
