#!/usr/bin/env bash
# Regenerates the scanner database's tables from its records files, after records were added or
# changed: scanner/lib/database/records/*.records -> scanner/lib/database/records/generated.cpp.
# Commit both. The build refuses records with mistakes and tables that disagree with them.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ORMOLT_RECORDS_BUILD:-$root/build/records}"
records="$root/scanner/lib/database/records"

"$root/scripts/deps.sh" linux
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORMOLT_TESTS=OFF >/dev/null
cmake --build "$build" --target fendrel-records --parallel "${ORMOLT_JOBS:-2}"
"$build/scanner/author/fendrel-records" "$records" "$records/generated.cpp"
