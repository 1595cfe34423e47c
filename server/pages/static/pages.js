// The map of metashelf serve's pages. The pages work without it: it draws
// the Natural Earth basemap, the boxes of the records listed on the page
// (read from their data-boxes attributes), opens a record when its box is
// clicked, and lets the reader draw a box that becomes the search's bbox.
// Titles reach the map only as text nodes, never as markup.
(function () {
  'use strict';
  document.documentElement.classList.add('js');
  if (typeof L === 'undefined') return;

  var WORLD = [[-90, -180], [90, 180]];
  var COLORS = ['#e4572e', '#29335c', '#2a9d8f', '#8e5572', '#f3a712', '#669bbc', '#bc4749', '#5c8001'];

  // "w,s,e,n;w,s,e,n" -> [{w,s,e,n}], dropping anything not in range.
  function parseBoxes(text) {
    var out = [];
    (text || '').split(';').forEach(function (part) {
      var v = part.split(',').map(Number);
      if (v.length !== 4 || !v.every(isFinite)) return;
      if (Math.abs(v[0]) > 180 || Math.abs(v[2]) > 180 || v[1] < -90 || v[3] > 90 || v[1] > v[3]) return;
      out.push({w: v[0], s: v[1], e: v[2], n: v[3]});
    });
    return out;
  }

  // The rings of one box; a box whose west lies east of its east crosses
  // the antimeridian and becomes two. A point or line gets a little width
  // so that it still shows.
  function rings(b) {
    var pad = 0.05;
    var s = b.s, n = b.n;
    if (n - s < pad) { s -= pad / 2; n += pad / 2; }
    function ring(w, e) {
      if (e - w < pad) { w -= pad / 2; e += pad / 2; }
      return [[[s, w], [s, e], [n, e], [n, w]]];
    }
    return b.w <= b.e ? [ring(b.w, b.e)] : [ring(b.w, 180), ring(-180, b.e)];
  }

  function isCut(a, b) {
    return (Math.abs(a[0]) === 180 && a[0] === b[0]) || (a[1] <= -90 && b[1] <= -90);
  }

  function addBasemap(map, url) {
    map.createPane('land').style.zIndex = 350;
    fetch(url, {credentials: 'same-origin'}).then(function (r) {
      if (!r.ok) throw new Error('basemap: HTTP ' + r.status);
      return r.json();
    }).then(function (geo) {
      L.geoJSON(geo, {pane: 'land', interactive: false,
        style: {stroke: false, fillColor: '#e9e4d4', fillOpacity: 1}}).addTo(map);
      var coasts = [];
      geo.features.forEach(function (f) {
        var g = f.geometry;
        var polygons = g.type === 'Polygon' ? [g.coordinates] : g.type === 'MultiPolygon' ? g.coordinates : [];
        polygons.forEach(function (polygon) {
          polygon.forEach(function (ring) {
            var line = [];
            for (var i = 1; i < ring.length; i++) {
              if (isCut(ring[i - 1], ring[i])) {
                if (line.length > 1) coasts.push(line);
                line = [];
                continue;
              }
              if (!line.length) line.push([ring[i - 1][1], ring[i - 1][0]]);
              line.push([ring[i][1], ring[i][0]]);
            }
            if (line.length > 1) coasts.push(line);
          });
        });
      });
      L.polyline(coasts, {pane: 'land', interactive: false, color: '#8c8670', weight: 0.8}).addTo(map);
    }).catch(function (err) {
      // Without land the boxes still show over the plain sea.
      if (window.console) console.warn(String(err));
    });
  }

  function makeMap(el) {
    var map = L.map(el, {crs: L.CRS.EPSG4326, minZoom: -1, maxZoom: 9, zoomSnap: 0.1,
      maxBounds: [[-100, -200], [100, 200]], maxBoundsViscosity: 0.8, worldCopyJump: false});
    map.attributionControl.setPrefix(false);
    map.attributionControl.addAttribution('Land: Natural Earth');
    addBasemap(map, el.getAttribute('data-basemap'));
    return map;
  }

  function titleOf(item) {
    var h = item.querySelector('h1, h3');
    return h ? h.textContent : 'Record ' + item.getAttribute('data-id');
  }

  function area(boxes) {
    return boxes.reduce(function (sum, b) {
      return sum + (b.n - b.s) * (b.w <= b.e ? b.e - b.w : 360 - b.w + b.e);
    }, 0);
  }

  // Draws the boxes of `items`, one shape per record, the largest first so
  // that small boxes stay on top and can be clicked; returns their bounds.
  function drawRecords(map, items, clickable) {
    var bounds = null;
    var drawn = items.map(function (item, index) {
      return {item: item, index: index, boxes: parseBoxes(item.getAttribute('data-boxes'))};
    }).filter(function (d) { return d.boxes.length; });
    drawn.sort(function (a, b) { return area(b.boxes) - area(a.boxes); });
    drawn.forEach(function (d) {
      var item = d.item, index = d.index, boxes = d.boxes;
      var all = [];
      boxes.forEach(function (b) { all = all.concat(rings(b)); });
      var color = COLORS[index % COLORS.length];
      var shape = L.polygon(all, {color: color, weight: 2, fillOpacity: 0.15, fillRule: 'nonzero',
        className: 'record-box', interactive: clickable});
      shape.addTo(map);
      var label = document.createElement('span');
      label.textContent = titleOf(item);
      shape.bindTooltip(label, {sticky: true});
      var href = item.getAttribute('data-href');
      if (clickable && href) {
        shape.on('click', function () { window.location.href = href; });
        var highlight = function (on) {
          shape.setStyle({weight: on ? 4 : 2, fillOpacity: on ? 0.35 : 0.15});
          item.classList.toggle('active', on);
          if (on) shape.bringToFront();
        };
        shape.on('mouseover', function () { highlight(true); });
        shape.on('mouseout', function () { highlight(false); });
        item.addEventListener('mouseenter', function () { highlight(true); });
        item.addEventListener('mouseleave', function () { highlight(false); });
        item.addEventListener('focusin', function () { highlight(true); });
        item.addEventListener('focusout', function () { highlight(false); });
      }
      var b = shape.getBounds();
      bounds = bounds ? bounds.extend(b) : L.latLngBounds(b.getSouthWest(), b.getNorthEast());
    });
    return bounds;
  }

  function round(v) { return Math.round(v * 100) / 100; }

  // The box tools of the search form, placed above the map so that the
  // focus reaches them before the map. "Draw a search box": a drag on the
  // map draws a rectangle; or, on the focused map, the arrow keys move a
  // cross (+ and - zoom the map) and Enter marks each of two opposite
  // corners. "Search this view" takes the visible map as the
  // box. Either way the box goes into the form's bbox field and searches.
  function addBoxTool(map, el, form) {
    var input = form.querySelector('input[name="bbox"]');
    if (!input) return;
    var current = parseBoxes(input.value.replace(/\s+/g, ''));
    if (current.length) {
      L.polygon(rings(current[0]), {color: '#1d2733', weight: 1.5, dashArray: '6 4', fill: false,
        interactive: false}).addTo(map);
    }
    function makeButton(text) {
      var b = document.createElement('button');
      b.type = 'button';
      b.textContent = text;
      tools.appendChild(b);
      return b;
    }
    var tools = document.createElement('div');
    tools.className = 'map-tools';
    var drawButton = makeButton('Draw a search box');
    drawButton.setAttribute('aria-pressed', 'false');
    var viewButton = makeButton('Search this view');
    var hint = document.createElement('p');
    hint.className = 'map-hint';
    hint.id = 'map-hint';
    hint.setAttribute('aria-live', 'polite');
    tools.appendChild(hint);
    el.parentNode.insertBefore(tools, el);
    el.setAttribute('aria-describedby', 'map-hint');
    var cross = document.createElement('div');
    cross.className = 'map-cross';
    cross.setAttribute('aria-hidden', 'true');
    el.appendChild(cross);

    var IDLE = 'Click a record\u2019s box to open it. On the focused map the arrow keys move and + and \u2212 zoom.';
    var DRAWING = 'Drag on the map to draw the box, or on the focused map move the cross with the ' +
      'arrow keys (Shift: small steps) and press Enter at two opposite corners. Esc cancels.';
    var drawing = false, start = null, byKeys = false, rect = null;
    hint.textContent = IDLE;

    function setDrawing(on) {
      drawing = on;
      drawButton.setAttribute('aria-pressed', on ? 'true' : 'false');
      el.classList.toggle('drawing', on);
      hint.textContent = on ? DRAWING : IDLE;
      if (on) { map.dragging.disable(); map.boxZoom.disable(); } else { map.dragging.enable(); map.boxZoom.enable(); }
      if (rect) { map.removeLayer(rect); rect = null; }
      start = null;
      byKeys = false;
      cursor = on ? map.getCenter() : null;
      showCross();
    }
    function beginAt(latlng, keys) {
      start = latlng;
      byKeys = keys;
      rect = L.rectangle(L.latLngBounds(start, start), {color: '#1d2733', weight: 1.5, dashArray: '6 4',
        fillOpacity: 0.1, interactive: false}).addTo(map);
    }
    function clamp(v, lim) { return Math.max(-lim, Math.min(lim, v)); }
    // Puts `bounds` in the form and searches; a box without area is refused.
    function search(bounds) {
      var w = round(clamp(bounds.getWest(), 180)), e = round(clamp(bounds.getEast(), 180));
      var s = round(clamp(bounds.getSouth(), 90)), n = round(clamp(bounds.getNorth(), 90));
      if (w === e || s === n) {
        setDrawing(false);
        hint.textContent = 'That box has no area: draw it again.';
        return;
      }
      input.value = [w, s, e, n].join(',');
      setDrawing(false);
      var offset = form.querySelector('input[name="offset"]');
      if (offset) offset.value = '0';
      if (form.requestSubmit) form.requestSubmit(); else form.submit();
    }

    drawButton.addEventListener('click', function () {
      setDrawing(!drawing);
      // A keyboard user goes on drawing on the map itself.
      if (drawing) el.focus();
    });
    viewButton.addEventListener('click', function () { search(map.getBounds()); });
    document.addEventListener('keydown', function (e) {
      if (e.key === 'Escape' && drawing) {
        setDrawing(false);
        drawButton.focus();
      }
    });
    // Keyboard drawing: the cross starts at the map's centre and the arrow
    // keys move it (Shift: small steps) instead of the map, so that a box
    // can reach any edge of what is shown; Enter marks a corner.
    var cursor = null;
    function inView(p) {
      var size = map.getSize();
      return L.point(Math.max(0, Math.min(size.x, p.x)), Math.max(0, Math.min(size.y, p.y)));
    }
    function showCross() {
      if (!cursor) return;
      // Shown at the nearest edge when the map moved it out of sight; the
      // next arrow key brings it back there. Only the keys move the cursor,
      // so that a passing resize of the map cannot.
      var p = inView(map.latLngToContainerPoint(cursor));
      cross.style.left = p.x + 'px';
      cross.style.top = p.y + 'px';
      if (drawing && start && byKeys && rect) rect.setBounds(L.latLngBounds(start, cursor));
    }
    var STEPS = {ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [0, -1], ArrowDown: [0, 1]};
    el.addEventListener('keydown', function (e) {
      if (!drawing || e.target !== el) return;
      if (!cursor) cursor = map.getCenter();
      var step = STEPS[e.key];
      if (step) {
        // Taken before the map's own handler, which would pan.
        e.preventDefault();
        e.stopImmediatePropagation();
        var by = e.shiftKey ? 4 : 20;
        var p = inView(map.latLngToContainerPoint(cursor));
        cursor = map.containerPointToLatLng(inView(L.point(p.x + step[0] * by, p.y + step[1] * by)));
        showCross();
        return;
      }
      if (e.key !== 'Enter' && e.key !== ' ') return;
      e.preventDefault();
      // The corner is where the cross shows.
      cursor = map.containerPointToLatLng(inView(map.latLngToContainerPoint(cursor)));
      if (!start) {
        beginAt(cursor, true);
        hint.textContent = 'First corner set at latitude ' + round(cursor.lat) + ', longitude ' +
          round(cursor.lng) + '. Move to the opposite corner and press Enter.';
      } else {
        search(L.latLngBounds(start, cursor));
      }
    }, true);
    map.on('move zoom resize', showCross);
    map.on('mousedown', function (e) {
      if (drawing && !byKeys) beginAt(e.latlng, false);
    });
    map.on('mousemove', function (e) {
      if (drawing && start && !byKeys && rect) rect.setBounds(L.latLngBounds(start, e.latlng));
    });
    map.on('mouseup', function (e) {
      if (drawing && start && !byKeys) search(L.latLngBounds(start, e.latlng));
    });
  }

  function init() {
    Array.prototype.forEach.call(document.querySelectorAll('.map[data-basemap]'), function (el) {
      var map = makeMap(el);
      var article = el.closest('[data-boxes]');
      var bounds;
      if (article) {
        bounds = drawRecords(map, [article], false);
      } else {
        var items = Array.prototype.slice.call(document.querySelectorAll('.results li.record'));
        bounds = drawRecords(map, items, true);
        var form = document.querySelector('form.search');
        if (form) addBoxTool(map, el, form);
      }
      if (bounds) {
        // A record's own map shows the land around its extent; a list's
        // map shows all its boxes.
        map.fitBounds(bounds.pad(article ? 1 : 0.15), {maxZoom: article ? 5 : 6});
      } else {
        map.fitBounds(WORLD);
      }
    });
  }

  init();
})();
