# Shared by the build scripts: repository root, job count, compiler cache.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
jobs="${QUORVEX_JOBS:-2}"
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
