#!/usr/bin/env bash
# Installs what is missing, builds everything in build/ and runs the whole test suite.
# Extra CMake arguments can be passed in OMBRIX_CMAKE_ARGS (e.g. "-DOMBRIX_TSAN=ON").
set -euo pipefail
cd "$(dirname "$0")"
bash tools/install-deps.sh
build_dir=${OMBRIX_BUILD_DIR:-build}
# shellcheck disable=SC2086
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo ${OMBRIX_CMAKE_ARGS:-}
cmake --build "$build_dir" -j"$(nproc)"
cd "$build_dir"
# -noreset: by default the server resets whenever its last client leaves, and a test process
# connecting during that reset fails ("could not connect") or dies of SIGPIPE.
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --output-on-failure -j"$(nproc)"
