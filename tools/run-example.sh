#!/usr/bin/env bash
# Sets up, builds, and runs the bundled example image through the runtime:
# once from its development files, once appended to a copy of the runtime.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup-debian.sh
cmake -S . -B build
cmake --build build -j"$(nproc)"
example=build/test_images/hello
echo "== development files in $example"
(cd "$example" && ../../bin/quendal)
echo "== the same image appended to build/bin/hello"
build/bin/quendal-imagebuild --from-image "$example/image.bin" --append build/bin/quendal --output build/bin/hello
build/bin/hello
