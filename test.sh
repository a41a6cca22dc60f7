#!/usr/bin/env bash
# Builds Fotoloom with its tests and runs every test through ctest.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
./scripts/build.sh
ctest --test-dir build --output-on-failure -j "$(nproc)"
