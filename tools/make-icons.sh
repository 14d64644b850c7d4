#!/bin/sh
# Rebuilds the tool bar images (src/ui/window/images/tool*.png) from tools/iconforge.
d=$(cd "$(dirname "$0")" && pwd) && cmake -S "$d/iconforge" -B /tmp/iconforge-build -G Ninja >/dev/null && cmake --build /tmp/iconforge-build -j2 && /tmp/iconforge-build/iconforge "$d/../src/ui/window/images"
