#!/usr/bin/env bash
# Redraws the interface pictures in images/ with tools/make_images.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(mktemp -d)
trap 'rm -rf "$build"' EXIT
cat > "$build/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(make_images LANGUAGES CXX)
set(CMAKE_CXX_STANDARD 20)
find_package(Qt6 REQUIRED COMPONENTS Gui)
add_subdirectory($here/tools tools)
CMAKE
cmake -S "$build" -B "$build/out" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/out" >/dev/null
QT_QPA_PLATFORM=offscreen "$build/out/tools/make_images" "$here/images"
ls -l "$here/images"
