#!/usr/bin/env bash
# Builds Fotoloom and starts it. Extra arguments go to the program
# (for example: ./run.sh new http://www.example.com/gallery/).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
./scripts/build.sh
if [ $# -gt 0 ]; then
  exec ./build/bin/fotoloom "$@"
fi
exec ./build/bin/fotoloom list
