# Sourced, not run, by bench.sh and soak.sh: builds the release tree with the benchmarks into
# ${TB_BUILD:-<repo>/build-bench} (no tests) and starts its Wine environment.
tb_bench_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export TB_BUILD=${TB_BUILD:-$tb_bench_root/build-bench}
bash "$tb_bench_root/scripts/setup.sh"
cmake -S "$tb_bench_root" -B "$TB_BUILD" \
      -DCMAKE_TOOLCHAIN_FILE="$tb_bench_root/cmake/toolchain-i686-mingw.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DTB_BUILD_BENCH=ON -DTB_BUILD_TESTS=OFF >/dev/null
cmake --build "$TB_BUILD" -j"$(nproc)" >/dev/null
source "$tb_bench_root/scripts/wine-env.sh"
tb_env_start
