#!/usr/bin/env bash
# Installs what is missing, builds everything in build/ and starts the program.
set -euo pipefail
cd "$(dirname "$0")"
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
exec build/app/Ombrix "$@"
