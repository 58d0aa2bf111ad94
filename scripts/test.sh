#!/usr/bin/env bash
# Installs what is missing, builds, runs every test with ctest, then each fuzz target briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 300)
bash scripts/fuzz.sh "${FUZZ_SECONDS:-20}"
