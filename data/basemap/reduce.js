// Reduces the land polygons of a world-atlas TopoJSON file to the basemap
// that metashelf draws: Douglas-Peucker simplification in degrees, islands
// and lakes too small to read at world or continent scale dropped,
// coordinates rounded to hundredths of a degree. Writes GeoJSON to stdout.
//
// usage: node reduce.js TOPOJSON_CLIENT_JS LAND_TOPOJSON TOLERANCE MIN_AREA
'use strict';
const fs = require('fs');
const [clientPath, landPath, tolArg, areaArg] = process.argv.slice(2);
const topojson = require(clientPath);
const tolerance = Number(tolArg);  // degrees
const minArea = Number(areaArg);    // square degrees

const topology = JSON.parse(fs.readFileSync(landPath, 'utf8'));
const land = topojson.feature(topology, topology.objects.land);

function perpendicular(p, a, b) {
  const dx = b[0] - a[0], dy = b[1] - a[1];
  const len = dx * dx + dy * dy;
  if (len === 0) return Math.hypot(p[0] - a[0], p[1] - a[1]);
  const t = Math.max(0, Math.min(1, ((p[0] - a[0]) * dx + (p[1] - a[1]) * dy) / len));
  return Math.hypot(p[0] - a[0] - t * dx, p[1] - a[1] - t * dy);
}

// Iterative Douglas-Peucker over an open polyline; keeps both ends.
function simplify(points) {
  if (points.length < 3) return points.slice();
  const keep = new Uint8Array(points.length);
  keep[0] = keep[points.length - 1] = 1;
  const stack = [[0, points.length - 1]];
  while (stack.length) {
    const [first, last] = stack.pop();
    let worst = -1, index = -1;
    for (let i = first + 1; i < last; i++) {
      const d = perpendicular(points[i], points[first], points[last]);
      if (d > worst) { worst = d; index = i; }
    }
    if (worst > tolerance) {
      keep[index] = 1;
      stack.push([first, index], [index, last]);
    }
  }
  return points.filter((_, i) => keep[i]);
}

function area(ring) {
  let s = 0;
  for (let i = 0, j = ring.length - 1; i < ring.length; j = i++) {
    s += (ring[j][0] - ring[i][0]) * (ring[j][1] + ring[i][1]);
  }
  return Math.abs(s / 2);
}

const round = (v) => Math.round(v * 100) / 100;

// A closed ring is simplified as two halves so that its first point (often
// on the antimeridian cut) stays put.
function reduceRing(ring) {
  const mid = Math.floor(ring.length / 2);
  const a = simplify(ring.slice(0, mid + 1));
  const b = simplify(ring.slice(mid));
  const out = [];
  for (const p of a.concat(b.slice(1))) {
    const q = [round(p[0]), round(p[1])];
    const prev = out[out.length - 1];
    if (!prev || prev[0] !== q[0] || prev[1] !== q[1]) out.push(q);
  }
  return out;
}

// Rings that cross the antimeridian are made continuous in longitude, then
// cut at -180/180 into pieces that each lie in [-180, 180]. A ring that
// winds around a pole (Antarctica) is closed along that pole; the thin
// sliver the source keeps at the pole itself is dropped.
function unwrap(ring) {
  const out = [ring[0].slice()];
  for (let i = 1; i < ring.length; i++) {
    let x = ring[i][0];
    const prev = out[i - 1][0];
    while (x - prev > 180) x -= 360;
    while (x - prev < -180) x += 360;
    out.push([x, ring[i][1]]);
  }
  return out;
}

function clip(open, keep, cut) {
  const out = [];
  for (let i = 0; i < open.length; i++) {
    const cur = open[i], prev = open[(i + open.length - 1) % open.length];
    const crossing = () => {
      const t = (cut - prev[0]) / (cur[0] - prev[0]);
      return [cut, prev[1] + t * (cur[1] - prev[1])];
    };
    if (keep(cur)) {
      if (!keep(prev)) out.push(crossing());
      out.push(cur);
    } else if (keep(prev)) {
      out.push(crossing());
    }
  }
  if (out.length) out.push(out[0].slice());
  return out;
}

// Returns the planar pieces of one ring, each tagged with the side it came
// from (0: inside [-180, 180] as given, 1: shifted by 360).
function planar(ring) {
  let u = unwrap(ring);
  const net = u[u.length - 1][0] - u[0][0];
  if (Math.abs(net) > 359) {
    const lats = u.map((p) => p[1]);
    if (lats.every((y) => Math.abs(y) > 89.9)) return [];
    const pole = lats.reduce((a, b) => a + b, 0) < 0 ? -90 : 90;
    u = u.slice(0, -1).concat([[u[u.length - 1][0], pole], [u[0][0], pole], u[0].slice()]);
    const shift = Math.min(...u.map((p) => p[0])) < -180 ? 360 : 0;
    return [u.map((p) => [p[0] + shift, p[1]])];
  }
  const xs = u.map((p) => p[0]);
  const lo = Math.min(...xs), hi = Math.max(...xs);
  if (lo >= -180 && hi <= 180) return [ring];
  const open = u.slice(0, -1);
  const cut = lo < -180 ? -180 : 180;
  const shift = lo < -180 ? 360 : -360;
  const inside = clip(open, (p) => (cut < 0 ? p[0] >= cut : p[0] <= cut), cut);
  const outside = clip(open, (p) => (cut < 0 ? p[0] <= cut : p[0] >= cut), cut)
      .map((p) => [p[0] + shift, p[1]]);
  return [inside, outside].filter((r) => r.length >= 4);
}

let before = 0, after = 0;
const polygons = [];
for (const feature of land.features) {
  const geometry = feature.geometry;
  const list = geometry.type === 'Polygon' ? [geometry.coordinates] : geometry.coordinates;
  for (const source of list) {
    const pieces = planar(source[0]);
    const holes = source.slice(1).flatMap(planar);
    for (const outer of pieces) {
      const x0 = Math.min(...outer.map((p) => p[0])), x1 = Math.max(...outer.map((p) => p[0]));
      const inside = holes.filter((h) => h.every((p) => p[0] >= x0 && p[0] <= x1));
      polygons.push(...reducePolygon([outer].concat(inside)));
    }
  }
}

// One planar polygon simplified; none when its outer ring is too small.
function reducePolygon(polygon) {
  if (area(polygon[0]) < minArea) return [];
  const rings = [];
  for (const ring of polygon) {
    before += ring.length;
    if (rings.length > 0 && area(ring) < minArea) continue;
    const reduced = reduceRing(ring);
    if (reduced.length < 4) continue;
    after += reduced.length;
    rings.push(reduced);
  }
  return rings.length ? [rings] : [];
}
process.stderr.write(`points ${before} -> ${after}, polygons ${polygons.length}\n`);
process.stdout.write(JSON.stringify({
  type: 'FeatureCollection',
  features: [{
    type: 'Feature',
    properties: {name: 'land', source: 'Natural Earth 1:50m land, via world-atlas 2.0.2'},
    geometry: {type: 'MultiPolygon', coordinates: polygons},
  }],
}) + '\n');
