# Shared by the benchmark scripts (convert_bench.sh, indexer_bench.sh, mail_bench.sh),
# sourced after they set $repo and $build_dir and define die: the release build tree they
# time our programs from. Not run on its own.

# Configures $build_dir as a Release tree without sanitizers when it has no cache yet and
# refuses a tree of another build type.
release_tree() {
  if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    cmake -S "$repo" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DQM_SANITIZE=OFF >/dev/null ||
      die "cmake could not configure $build_dir"
  fi
  grep -q '^CMAKE_BUILD_TYPE:STRING=Release$' "$build_dir/CMakeCache.txt" ||
    die "$build_dir is not a Release build tree"
}

# release_build JOBS TARGET...: builds the targets in $build_dir; on failure shows the
# end of the build's output and stops.
release_build() {
  local jobs=$1 build_log
  shift
  build_log=$(cmake --build "$build_dir" -j"$jobs" --target "$@" 2>&1) ||
    { printf '%s\n' "$build_log" | tail -20 >&2; die "the build failed"; }
}
