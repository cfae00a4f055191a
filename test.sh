#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
# Qt wants a private runtime folder; a root shell or a bare container has none.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR=$(mktemp -d /tmp/klov-runtime-XXXXXX)
  export XDG_RUNTIME_DIR
  trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 300

# Everything but the end-to-end suite runs again under AddressSanitizer and UBSan
# (the end-to-end tests measure real time, which the sanitizers slow down).
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKLOV_SANITIZE=ON
cmake --build build-asan -j "$jobs" --target klov_sanitized_suite
ASAN_OPTIONS=detect_leaks=0 ctest --test-dir build-asan --output-on-failure -j "$jobs" -L sanitized --timeout 300
