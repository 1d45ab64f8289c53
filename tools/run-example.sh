#!/usr/bin/env bash
# Sets up, builds only what the example needs (the runtime build/bin/quendal,
# the image builder and the example image), and runs the example image
# through the runtime: once from its development files, once appended to a
# copy of the runtime.  The tests are built by tools/run-tests.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup-debian.sh
cmake -S . -B build
cmake --build build -j"$(nproc)" --target quendal quendal-imagebuild test_image_hello
example=build/test_images/hello
echo "== 1. The example image (tests/images/hello.c) from its development files:"
echo "==    build/bin/quendal, started in $example, loads code.dat, data.dat, import.dat, ..."
status=0
(cd "$example" && ../../bin/quendal) || status=$?
echo "==    exit code $status"
echo "== 2. The same image appended to a copy of the runtime, build/bin/hello,"
echo "==    a program of its own that runs from any folder (here from /):"
build/bin/quendal-imagebuild --from-image "$example/image.bin" --append build/bin/quendal --output build/bin/hello
hello="$PWD/build/bin/hello"
status=0
(cd / && "$hello") || status=$?
echo "==    exit code $status"
