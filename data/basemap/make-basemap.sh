#!/usr/bin/env bash
# Rebuilds land.geojson, the world basemap of `metashelf serve`'s pages and of
# `metashelf map`, from Natural Earth's 1:50m land polygons as the world-atlas
# package on the npm registry redistributes them. Needs node and npm; the
# build and the tests never run this: they use the committed land.geojson.
#
# usage: data/basemap/make-basemap.sh   (rewrites data/basemap/land.geojson)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
npm pack --silent world-atlas@2.0.2 topojson-client@3.1.0 >/dev/null
mkdir atlas client
tar xzf world-atlas-2.0.2.tgz -C atlas
tar xzf topojson-client-3.1.0.tgz -C client
# 0.1 degree tolerance and islands under 0.2 square degrees dropped: what
# still reads at world and continent scale, about 150 KB.
node "$here/reduce.js" "$work/client/package/dist/topojson-client.js" \
  atlas/package/land-50m.json 0.1 0.2 >"$here/land.geojson"
echo "wrote $here/land.geojson ($(wc -c <"$here/land.geojson") bytes)"
