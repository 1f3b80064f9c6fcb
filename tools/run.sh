#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it. The catalogue
# files live beside the program, in build/bin.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$top/tools/deps.sh"
cmake -S "$top" -B "$top/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$top/build" --target qv-tessarin qvdb
exec "$top/build/bin/qv-tessarin" "$@"
