# Sourced by the benchmark scripts: sets `cli` and `corpus` from `build`, and stops the script
# when the program is not built (status 2) or the camera corpus is absent (skipped, status 0).
cli=$(realpath "$build/bin/keelpack-cli")
corpus=${KEELPACK_CORPUS:-$(realpath -m ../shared/corpus/camera)}
[ -x "$cli" ] || { echo "no $cli: build first (cmake --build $build)"; exit 2; }
[ -d "$corpus" ] || { echo "skipped: no camera corpus at $corpus"; exit 0; }
