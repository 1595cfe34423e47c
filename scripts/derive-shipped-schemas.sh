#!/bin/sh
# Writes data/schemas/fgdc.xml and data/schemas/iso19139.xml anew from their
# sources with the project's own generators: the FGDC XSD of the corpus and
# the ISO records of the corpus with data/schemas/sources/iso19139-core.xml,
# each grown by the records of the corpus (what 'metashelf schema
# from-samples --extend' does for a registered schema). Needs the corpus at
# ../shared/corpus and a built tree (default build/dev); the texts it writes
# are committed, so nothing else needs the corpus.
#   scripts/derive-shipped-schemas.sh [BUILD_DIR]
set -eu
cd "$(dirname "$0")/.."
build=${1:-build/dev}
tests="$build/tests/model/model_tests"
[ -x "$tests" ] || { echo "build $tests first (cmake --build $build --target model_tests)" >&2; exit 1; }
[ -d ../shared/corpus/fgdc ] || { echo "the corpus is not at ../shared/corpus" >&2; exit 1; }
METASHELF_WRITE_SCHEMAS=1 "$tests" --gtest_filter='ShippedSchemasTest.*' >/dev/null || true
"$tests" --gtest_filter='ShippedSchemasTest.*:*CorpusRoundTrip*'
grep -c '<element\|<attribute' data/schemas/fgdc.xml data/schemas/iso19139.xml
