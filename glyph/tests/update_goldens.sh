#!/bin/sh
# Rewrites the golden PNGs of pgxrender from a build directory (default: build).
set -eu
build=${1:-build}
QM_UPDATE_GOLDEN=1 "$build/tests/glyph_pgxrender_test" --gtest_filter='Pgxrender.*Golden*'
