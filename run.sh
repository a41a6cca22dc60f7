#!/usr/bin/env bash
# Builds Fotoloom and starts it: without arguments it runs the demo crawl (a
# small gallery site served by the program itself on 127.0.0.1, harvested into
# the project "Demo Gallery"). Extra arguments go to the program, for example
#   ./run.sh crawl http://www.example.com/gallery/
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
./scripts/build.sh
if [ $# -gt 0 ]; then
  exec ./build/bin/fotoloom "$@"
fi
exec ./build/bin/fotoloom demo
