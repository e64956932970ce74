#include "report/report_page.hpp"

#include <string_view>

#include "report/leaflet_bundle.hpp"

namespace velmora {

namespace {

// Before any other script: script errors are counted into the check element, which the
// browser test reads (and a user may look at in the page's source).
constexpr std::string_view head_start = R"html(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="generator" content="Velmora">
<title>Velmora report</title>
<script>
window.velmoraErrors = [];
window.onerror = function (message, source, line, column) {
  window.velmoraErrors.push(String(message) + ' (line ' + line + ':' + column + ')');
  var check = document.getElementById('velmora-check');
  if (check) {
    check.setAttribute('data-errors', String(window.velmoraErrors.length));
    check.textContent = window.velmoraErrors.join('\n');
  }
};
</script>
<style>
)html";

constexpr std::string_view page_style = R"css(
body { font: 14px/1.4 system-ui, sans-serif; margin: 0; color: #222; background: #fafafa; }
header, main, footer { max-width: 1400px; margin: 0 auto; padding: 0 16px; }
h1 { font-size: 22px; margin: 16px 0 4px; }
h2 { font-size: 18px; margin: 24px 0 8px; border-bottom: 1px solid #ccc; }
h3 { font-size: 16px; margin: 0 0 6px; }
.summary { color: #444; }
dl.facts { display: grid; grid-template-columns: max-content auto; gap: 2px 12px; margin: 6px 0; }
dl.facts dt { color: #666; }
dl.facts dd { margin: 0; }
#sets { display: grid; grid-template-columns: repeat(auto-fill, minmax(340px, 1fr)); gap: 12px; }
.set { background: #fff; border: 1px solid #ddd; border-left: 6px solid #888; padding: 8px 12px; }
.swatch { display: inline-block; width: 12px; height: 12px; border-radius: 6px; margin-right: 6px; }
.icons { display: flex; flex-wrap: wrap; gap: 6px; }
.icons figure { margin: 0; padding: 4px; border: 1px solid #eee; text-align: center; min-width: 48px; }
.icons img { image-rendering: pixelated; max-width: 48px; max-height: 48px; }
.icons figcaption { font-size: 11px; color: #555; }
ul.cats { margin: 4px 0; padding-left: 18px; columns: 2; }
#map { height: 60vh; min-height: 360px; background: #e8eef0; border: 1px solid #ccc; }
#map-note { color: #444; margin: 4px 0; }
.controls { display: flex; gap: 8px; align-items: center; flex-wrap: wrap; margin: 8px 0; }
.controls input { font: inherit; padding: 4px 6px; min-width: 260px; }
.table-wrap { overflow-x: auto; background: #fff; border: 1px solid #ddd; }
table { border-collapse: collapse; width: 100%; }
th, td { padding: 3px 6px; border-bottom: 1px solid #eee; vertical-align: top; text-align: left; }
th { background: #f0f0f0; cursor: pointer; white-space: nowrap; position: sticky; top: 0; }
th.sorted-up::after { content: " \25B2"; }
th.sorted-down::after { content: " \25BC"; }
td.num { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
td.multi { white-space: pre-line; }
td img { max-width: 32px; max-height: 32px; image-rendering: pixelated; }
tr.has-alert td.alert { color: #b00; font-weight: bold; }
tr.has-alert { background: #fff6f0; }
footer { color: #666; font-size: 12px; margin: 24px auto; }
#velmora-check { display: none; }
)css";

constexpr std::string_view head_end = R"html(
</style>
<script>
)html";

constexpr std::string_view body_start = R"html(
</script>
</head>
<body>
<div id="velmora-check" data-state="loading" data-errors="0"></div>
<header>
<h1>Velmora report</h1>
<p class="summary" id="summary"></p>
</header>
<main>
<h2>Inputs</h2>
<dl class="facts" id="facts"></dl>
<h2>Sets</h2>
<div id="sets"></div>
<h2>Map</h2>
<p id="map-note"></p>
<div id="map"></div>
<h2>Points of interest</h2>
<div class="controls">
<input id="search" type="search" placeholder="Search names, comments, addresses..." aria-label="Search">
<span id="found"></span>
<button id="first" type="button">&laquo;</button>
<button id="prev" type="button">&lsaquo;</button>
<span id="page"></span>
<button id="next" type="button">&rsaquo;</button>
<button id="last" type="button">&raquo;</button>
</div>
<div class="table-wrap"><table id="pois"><thead><tr id="columns"></tr></thead><tbody id="rows"></tbody></table></div>
</main>
<footer>
<p id="made"></p>
<p>The map is drawn with Leaflet (BSD 2-Clause licence, &copy; Vladimir Agafonkin, &copy; CloudMade),
built into this page. Map tiles, shown when the browser is online, come from OpenStreetMap
(&copy; OpenStreetMap contributors, ODbL).</p>
</footer>
<script id="velmora-data" type="application/json">
)html";

// Builds the page from the data.  Every text of an input is put into the page as text
// (textContent, never as markup); the map draws its points on a canvas of its own, so
// that a hundred thousand of them draw at once.
constexpr std::string_view page_script = R"js(
</script>
<script>
(function () {
  'use strict';
  var data = JSON.parse(document.getElementById('velmora-data').textContent);
  var check = document.getElementById('velmora-check');
  var pois = data.pois;
  var sets = data.sets;
  var hash = {};
  location.hash.replace(/^#/, '').split('&').forEach(function (part) {
    if (!part) return;
    var at = part.indexOf('=');
    var key = at < 0 ? part : part.slice(0, at);
    var value = at < 0 ? '' : part.slice(at + 1);
    try { value = decodeURIComponent(value); } catch (e) { /* kept as written */ }
    hash[key] = value;
  });

  function el(tag, text, cls) {
    var e = document.createElement(tag);
    if (text !== undefined && text !== null) e.textContent = String(text);
    if (cls) e.className = cls;
    return e;
  }
  function byId(id) { return document.getElementById(id); }
  var colours = ['#1f77b4', '#d62728', '#2ca02c', '#ff7f0e', '#9467bd', '#8c564b',
                 '#e377c2', '#17becf', '#bcbd22', '#7f7f7f'];
  function colour(s) { return colours[s % colours.length]; }
  function utc(t) { return new Date(t * 1000).toISOString().replace('.000Z', ' UTC').replace('T', ' '); }
  function plural(n, word) { return n.toLocaleString('en') + ' ' + word + (n === 1 ? '' : 's'); }
  function text(v) { return v === 0 || v === undefined || v === null ? '' : String(v); }

  // ---- the fields of a POI (see the writer for the order) ----
  var F = { set: 0, lat: 1, lon: 2, name: 3, symbol: 4, comment: 5, desc: 6, icon: 7,
            cats: 8, alert: 9, link: 10, address: 11, contacts: 12, picture: 13 };
  function field(p, f) { var v = p[f]; return v === undefined ? 0 : v; }
  function categoriesText(p) {
    var c = field(p, F.cats);
    if (!c) return '';
    var names = sets[p[F.set]].categories;
    return c.map(function (i) { return text(names[i]); }).join(', ');
  }
  function alertText(p) {
    var a = field(p, F.alert);
    if (!a) return '';
    var parts = [];
    if (a[0] & 4) parts.push('Tour Guide');
    if (a[0] & 2) parts.push('speed ' + a[2] + ' km/h');
    if (a[0] & 1) parts.push(a[1] + ' m' + (a[0] & 8 ? ' (from the speed)' : ''));
    else if (a[0] & 8) parts.push('distance from the speed');
    if (a.length > 3) parts.push('sound ' + a[3]);
    return parts.join(', ');
  }
  function pairsText(v) {
    if (!v) return '';
    var lines = [];
    for (var i = 0; i + 1 < v.length; i += 2) lines.push(text(v[i]) + ': ' + text(v[i + 1]));
    return lines.join('\n');
  }
  function linkText(p) {
    var l = field(p, F.link);
    if (!l) return '';
    return l.length > 1 && l[1] ? text(l[1]) + ' <' + text(l[0]) + '>' : text(l[0]);
  }
  function iconOf(p) {
    var i = field(p, F.icon);
    return i ? sets[p[F.set]].icons[i - 1] : null;
  }

  // ---- facts and sets ----
  var total = pois.length;
  byId('summary').textContent = plural(total, 'POI') + ' in ' + plural(sets.length, 'set') +
      ' from ' + plural(data.inputs.length, 'input') + '.';
  byId('made').textContent = 'Written by ' + data.program + ' on ' + utc(data.time) + '.';
  var facts = byId('facts');
  function fact(name, value) { facts.appendChild(el('dt', name)); facts.appendChild(el('dd', value)); }
  data.inputs.forEach(function (input, i) { fact('Input ' + (i + 1), input[0] + ' (' + input[1] + ')'); });
  if (data.language) fact('Language asked for', data.language);

  var catUses = sets.map(function (s) { return new Array(s.categories.length).fill(0); });
  for (var i = 0; i < total; i++) {
    var c = field(pois[i], F.cats);
    if (c) for (var k = 0; k < c.length; k++) catUses[pois[i][F.set]][c[k]]++;
  }
  var images = sets.map(function (s) {
    return s.icons.map(function (icon) {
      if (!icon || !icon[2]) return null;
      var img = new Image();
      img.src = icon[2];
      return img;
    });
  });

  var setsBox = byId('sets');
  sets.forEach(function (s, index) {
    var box = el('section', null, 'set');
    box.style.borderLeftColor = colour(index);
    var title = el('h3');
    var swatch = el('span', null, 'swatch');
    swatch.style.background = colour(index);
    title.appendChild(swatch);
    title.appendChild(document.createTextNode(s.name || '(no name)'));
    box.appendChild(title);
    var dl = el('dl', null, 'facts');
    function add(name, value) { dl.appendChild(el('dt', name)); dl.appendChild(el('dd', value)); }
    add('POIs', s.count.toLocaleString('en'));
    add('Alerts', s.alerts.toLocaleString('en'));
    add('Texts', s.encoding);
    if (s.time > 0) add('GPI time', utc(s.time));
    if (s.producer) add('Producer', s.producer);
    if (s.copyright) add('Copyright', s.copyright);
    if (s.bounds) add('Extent', 'lat ' + s.bounds[0] + ' to ' + s.bounds[2] + ', lon ' + s.bounds[1] + ' to ' + s.bounds[3]);
    add('Categories', s.categories.length.toLocaleString('en'));
    add('Icons', s.icons.length.toLocaleString('en'));
    if (s.media.length) {
      add('Sounds', s.media.map(function (m) { return m[0] + ' (' + m[1] + ' ' + m[2].join(', ') + ')'; }).join('; '));
    }
    if (s.pictures.length) add('Pictures', s.pictures.length.toLocaleString('en'));
    box.appendChild(dl);
    if (s.categories.length) {
      var ul = el('ul', null, 'cats');
      s.categories.forEach(function (name, ci) {
        ul.appendChild(el('li', text(name) + ' (' + catUses[index][ci].toLocaleString('en') + ')'));
      });
      box.appendChild(ul);
    }
    if (s.icons.length) {
      var grid = el('div', null, 'icons');
      s.icons.forEach(function (icon, ii) {
        if (!icon) return;
        var fig = el('figure');
        if (icon[2]) {
          var img = el('img');
          img.src = icon[2];
          img.alt = 'icon ' + icon[0];
          img.width = icon[3];
          img.height = icon[4];
          fig.appendChild(img);
        }
        fig.appendChild(el('figcaption', '#' + icon[0] + (icon[1] ? ' ' + icon[1] : '') +
                                          ': ' + plural(icon[5], 'POI')));
        grid.appendChild(fig);
      });
      box.appendChild(grid);
    }
    setsBox.appendChild(box);
  });

  // ---- the map ----
  var limit = data.map_limit;
  var mx = new Float64Array(total), my = new Float64Array(total);
  var south = 90, north = -90, west = 180, east = -180, located = 0;
  for (i = 0; i < total; i++) {
    var lat = pois[i][F.lat], lon = pois[i][F.lon];
    if (lat === null || lon === null) { mx[i] = NaN; my[i] = NaN; continue; }
    var clamped = Math.max(-85.05112878, Math.min(85.05112878, lat));
    var s = Math.sin(clamped * Math.PI / 180);
    mx[i] = (lon + 180) / 360;
    my[i] = 0.5 - Math.log((1 + s) / (1 - s)) / (4 * Math.PI);
    south = Math.min(south, lat); north = Math.max(north, lat);
    west = Math.min(west, lon); east = Math.max(east, lon);
    located++;
  }
  var shown = new Int32Array(0);  // the POIs the map draws
  var drawnX = new Float32Array(0), drawnY = new Float32Array(0), drawnIndex = new Int32Array(0);
  var drawnCount = 0;
  var map = null, points = null;

  function chooseShown(list) {
    var step = list.length > limit ? Math.ceil(list.length / limit) : 1;
    var out = new Int32Array(Math.ceil(list.length / step));
    var n = 0;
    for (var j = 0; j < list.length; j += step) out[n++] = list[j];
    shown = out.subarray(0, n);
    var note = located < total ? plural(total - located, 'POI') + ' without a position. ' : '';
    if (step > 1) {
      note += 'The map draws a sample of ' + n.toLocaleString('en') + ' of ' +
              list.length.toLocaleString('en') + ' POIs (every ' + step + 'th); the table holds them all.';
    } else {
      note += 'The map draws ' + plural(n, 'POI') + '.';
    }
    if (located) {
      note += ' Extent: latitude ' + south.toFixed(5) + ' to ' + north.toFixed(5) +
              ', longitude ' + west.toFixed(5) + ' to ' + east.toFixed(5) + '.';
    }
    byId('map-note').textContent = note;
  }

  if (typeof L !== 'undefined') {
    var PointLayer = L.Layer.extend({
      onAdd: function (m) {
        this._canvas = L.DomUtil.create('canvas', 'velmora-points');
        this._canvas.style.position = 'absolute';
        m.getPanes().overlayPane.appendChild(this._canvas);
        m.on('moveend zoomend resize viewreset', this.redraw, this);
        this.redraw();
      },
      onRemove: function (m) {
        L.DomUtil.remove(this._canvas);
        m.off('moveend zoomend resize viewreset', this.redraw, this);
      },
      redraw: function () {
        var m = this._map, size = m.getSize(), canvas = this._canvas;
        var ratio = window.devicePixelRatio || 1;
        L.DomUtil.setPosition(canvas, m.containerPointToLayerPoint([0, 0]));
        canvas.width = size.x * ratio; canvas.height = size.y * ratio;
        canvas.style.width = size.x + 'px'; canvas.style.height = size.y + 'px';
        var ctx = canvas.getContext('2d');
        ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
        ctx.clearRect(0, 0, size.x, size.y);
        var zoom = m.getZoom(), scale = 256 * Math.pow(2, zoom);
        var origin = m.project(m.containerPointToLatLng([0, 0]), zoom);
        if (drawnX.length < shown.length) {
          drawnX = new Float32Array(shown.length); drawnY = new Float32Array(shown.length);
          drawnIndex = new Int32Array(shown.length);
        }
        var n = 0, j, idx, x, y;
        for (j = 0; j < shown.length; j++) {
          idx = shown[j];
          x = mx[idx] * scale - origin.x; y = my[idx] * scale - origin.y;
          if (!(x >= -20 && y >= -20 && x <= size.x + 20 && y <= size.y + 20)) continue;
          drawnX[n] = x; drawnY[n] = y; drawnIndex[n] = idx; n++;
        }
        drawnCount = n;
        var withIcons = zoom >= 14 || n <= 400;
        var r = n > 20000 ? 2 : 4;
        for (var si = 0; si < sets.length; si++) {
          ctx.beginPath();
          var any = false;
          for (j = 0; j < n; j++) {
            var p = pois[drawnIndex[j]];
            if (p[F.set] !== si) continue;
            if (withIcons) {
              var icon = field(p, F.icon);
              var img = icon ? images[si][icon - 1] : null;
              if (img && img.complete && img.naturalWidth) continue;
            }
            ctx.moveTo(drawnX[j] + r, drawnY[j]);
            ctx.arc(drawnX[j], drawnY[j], r, 0, 2 * Math.PI);
            any = true;
          }
          if (any) { ctx.fillStyle = colour(si); ctx.fill(); }
        }
        // Icons where there is room: zoomed in, or few points in view.
        if (withIcons) {
          for (j = 0; j < n; j++) {
            var q = pois[drawnIndex[j]];
            var ic = field(q, F.icon);
            var im = ic ? images[q[F.set]][ic - 1] : null;
            if (!im || !im.complete || !im.naturalWidth) continue;
            ctx.drawImage(im, Math.round(drawnX[j] - im.naturalWidth / 2), Math.round(drawnY[j] - im.naturalHeight / 2));
            ctx.strokeStyle = colour(q[F.set]); ctx.lineWidth = 1;
            ctx.strokeRect(Math.round(drawnX[j] - im.naturalWidth / 2) - 1.5, Math.round(drawnY[j] - im.naturalHeight / 2) - 1.5,
                           im.naturalWidth + 3, im.naturalHeight + 3);
          }
        }
        // Alerts get a red ring, around the icon where one is drawn; where thousands of
        // points crowd the view the rings would hide them, and the table marks alerts.
        var ring = withIcons ? 13 : r + 3;
        ctx.beginPath();
        for (j = 0; j < (n <= 5000 ? n : 0); j++) {
          if (!field(pois[drawnIndex[j]], F.alert)) continue;
          ctx.moveTo(drawnX[j] + ring, drawnY[j]);
          ctx.arc(drawnX[j], drawnY[j], ring, 0, 2 * Math.PI);
        }
        ctx.strokeStyle = '#b00'; ctx.lineWidth = 2; ctx.stroke();
        check.setAttribute('data-drawn', String(n));
      }
    });
    map = L.map('map', { zoomAnimation: false, worldCopyJump: false });
    if (!('notiles' in hash)) {
      L.tileLayer('https://tile.openstreetmap.org/{z}/{x}/{y}.png', {
        maxZoom: 19, attribution: '&copy; OpenStreetMap contributors'
      }).addTo(map);
    }
    L.control.scale().addTo(map);
    if (located) {
      if (south === north && west === east) map.setView([south, west], 14);
      else map.fitBounds([[south, west], [north, east]], { padding: [20, 20] });
    } else {
      map.setView([0, 0], 1);
    }
    points = new PointLayer();
    map.on('click', function (e) {
      var at = e.containerPoint, best = -1, bestDistance = 100;
      for (var j = 0; j < drawnCount; j++) {
        var dx = drawnX[j] - at.x, dy = drawnY[j] - at.y, d = dx * dx + dy * dy;
        if (d < bestDistance) { bestDistance = d; best = drawnIndex[j]; }
      }
      if (best < 0) return;
      var p = pois[best], box = el('div');
      box.appendChild(el('strong', text(p[F.name]) || '(no name)'));
      [['Set', sets[p[F.set]].name], ['Position', p[F.lat] + ', ' + p[F.lon]],
       ['Categories', categoriesText(p)], ['Alert', alertText(p)], ['Comment', text(field(p, F.comment))],
       ['Description', text(field(p, F.desc))], ['Address', pairsText(field(p, F.address))],
       ['Contacts', pairsText(field(p, F.contacts))]].forEach(function (row) {
        if (!row[1]) return;
        var line = el('div');
        line.style.whiteSpace = 'pre-line';
        line.textContent = row[0] + ': ' + row[1];
        box.appendChild(line);
      });
      L.popup().setLatLng([p[F.lat], p[F.lon]]).setContent(box).openOn(map);
    });
    images.forEach(function (list) {
      list.forEach(function (img) {
        if (img && !img.complete) img.onload = function () { if (points._map) points.redraw(); };
      });
    });
  } else {
    byId('map').textContent = 'The map library did not load.';
  }

  // ---- the table ----
  var columns = [
    ['#', function (p, i) { return i + 1; }, 'num'],
    ['Set', function (p) { return sets[p[F.set]].name; }],
    ['Name', function (p) { return text(p[F.name]); }],
    ['Latitude', function (p) { return p[F.lat]; }, 'num'],
    ['Longitude', function (p) { return p[F.lon]; }, 'num'],
    ['Icon', function (p) { var c = iconOf(p); return c ? c[0] : ''; }, 'icon'],
    ['Symbol', function (p) { return text(field(p, F.symbol)); }],
    ['Categories', categoriesText],
    ['Alert', alertText, 'alert'],
    ['Comment', function (p) { return text(field(p, F.comment)); }, 'multi'],
    ['Description', function (p) { return text(field(p, F.desc)); }, 'multi'],
    ['Link', linkText],
    ['Address', function (p) { return pairsText(field(p, F.address)); }, 'multi'],
    ['Contacts', function (p) { return pairsText(field(p, F.contacts)); }, 'multi'],
    ['Picture', function (p) { return field(p, F.picture) || ''; }, 'picture']
  ];
  var pageSize = 100, page = 0, sortColumn = 0, sortDown = false;
  var filtered = new Int32Array(total);
  for (i = 0; i < total; i++) filtered[i] = i;
  var head = byId('columns');
  columns.forEach(function (column, ci) {
    var th = el('th', column[0]);
    th.addEventListener('click', function () {
      if (sortColumn === ci) sortDown = !sortDown; else { sortColumn = ci; sortDown = false; }
      sortRows(); page = 0; showRows();
    });
    head.appendChild(th);
  });

  function sortRows() {
    var get = columns[sortColumn][1], numeric = columns[sortColumn][2] === 'num';
    var keys = new Map();
    filtered.forEach(function (index) {
      var v = get(pois[index], index);
      keys.set(index, numeric ? (v === null ? -Infinity : v) : String(v).toLowerCase());
    });
    var list = Array.prototype.slice.call(filtered);
    list.sort(function (a, b) {
      var ka = keys.get(a), kb = keys.get(b);
      var order = ka < kb ? -1 : ka > kb ? 1 : a - b;
      return sortDown ? -order : order;
    });
    filtered = Int32Array.from(list);
    Array.prototype.forEach.call(head.children, function (th, ci) {
      th.className = ci === sortColumn ? (sortDown ? 'sorted-down' : 'sorted-up') : '';
    });
  }

  // The lower-case text of every POI that the search looks through, made in slices after
  // the page is shown, so that the first search does not wait for all of it.
  var haystack = new Array(total), madeUpTo = 0;
  function searchText(p) {
    var s = sets[p[F.set]].name + '\n' + text(p[F.name]);
    for (var f = F.symbol; f <= F.desc && f < p.length; f++) if (p[f]) s += '\n' + p[f];
    if (field(p, F.cats)) s += '\n' + categoriesText(p);
    if (field(p, F.alert)) s += '\n' + alertText(p);
    if (field(p, F.link)) s += '\n' + linkText(p);
    if (field(p, F.address)) s += '\n' + pairsText(p[F.address]);
    if (field(p, F.contacts)) s += '\n' + pairsText(p[F.contacts]);
    return s.toLowerCase();
  }
  function makeHaystack(upTo) {
    for (; madeUpTo < upTo; madeUpTo++) haystack[madeUpTo] = searchText(pois[madeUpTo]);
  }
  function makeHaystackSlice() {
    makeHaystack(Math.min(total, madeUpTo + 20000));
    if (madeUpTo < total) setTimeout(makeHaystackSlice, 0);
  }
  function search(term) {
    term = term.trim().toLowerCase();
    if (!term) {
      filtered = new Int32Array(total);
      for (var j = 0; j < total; j++) filtered[j] = j;
    } else {
      makeHaystack(total);
      var hits = [];
      for (var k = 0; k < total; k++) if (haystack[k].indexOf(term) >= 0) hits.push(k);
      filtered = Int32Array.from(hits);
    }
    if (sortColumn !== 0 || sortDown) sortRows();
    page = 0;
    byId('found').textContent = term ? plural(filtered.length, 'POI') + ' found' : '';
    showRows();
    chooseShown(filtered);
    if (points) points.redraw();
  }

  var rows = byId('rows');
  function showRows() {
    var pages = Math.max(1, Math.ceil(filtered.length / pageSize));
    page = Math.max(0, Math.min(page, pages - 1));
    var from = page * pageSize, to = Math.min(filtered.length, from + pageSize);
    var body = document.createDocumentFragment();
    for (var r = from; r < to; r++) {
      var index = filtered[r], p = pois[index], tr = el('tr');
      if (field(p, F.alert)) tr.className = 'has-alert';
      columns.forEach(function (column) {
        var td = el('td', null, column[2] || '');
        if (column[2] === 'icon') {
          var icon = iconOf(p);
          if (icon && icon[2]) {
            var img = el('img'); img.src = icon[2]; img.alt = 'icon ' + icon[0]; td.appendChild(img);
          } else if (icon) td.textContent = '#' + icon[0];
        } else if (column[2] === 'picture') {
          var pic = field(p, F.picture), uri = pic ? sets[p[F.set]].pictures[pic - 1] : '';
          if (uri) { var photo = el('img'); photo.src = uri; photo.alt = 'picture ' + pic; td.appendChild(photo); }
          else if (pic) td.textContent = 'picture ' + pic;
        } else {
          var v = column[1](p, index);
          td.textContent = v === null ? '' : String(v);
        }
        tr.appendChild(td);
      });
      body.appendChild(tr);
    }
    rows.textContent = '';
    rows.appendChild(body);
    byId('page').textContent = filtered.length ? 'rows ' + (from + 1).toLocaleString('en') + ' to ' +
        to.toLocaleString('en') + ' of ' + filtered.length.toLocaleString('en') + ' (page ' + (page + 1) +
        ' of ' + pages + ')' : 'no rows';
  }
  byId('first').addEventListener('click', function () { page = 0; showRows(); });
  byId('prev').addEventListener('click', function () { page--; showRows(); });
  byId('next').addEventListener('click', function () { page++; showRows(); });
  byId('last').addEventListener('click', function () { page = 1e9; showRows(); });
  var searchBox = byId('search'), pending = 0;
  searchBox.addEventListener('input', function () {
    clearTimeout(pending);
    pending = setTimeout(function () { search(searchBox.value); }, 150);
  });

  // The page checks itself: what it shows, for the browser test and for a look at the
  // element in the page's source.
  var started = performance.now();
  chooseShown(filtered);
  showRows();
  if (map) points.addTo(map);
  if (hash.search !== undefined) { searchBox.value = hash.search; search(hash.search); }
  check.setAttribute('data-pois', String(total));
  check.setAttribute('data-rows', String(filtered.length));
  check.setAttribute('data-sets', String(setsBox.querySelectorAll('.set').length));
  check.setAttribute('data-shown', String(shown.length));
  check.setAttribute('data-map', map ? 'yes' : 'no');
  var firstRow = rows.querySelector('tr');
  check.setAttribute('data-first', firstRow ? firstRow.children[2].textContent : '');
  check.setAttribute('data-ms', String(Math.round(performance.now() - started)));
  check.setAttribute('data-errors', String(window.velmoraErrors.length));
  check.setAttribute('data-state', 'ready');
  setTimeout(makeHaystackSlice, 0);
})();
</script>
</body>
</html>
)js";

}  // namespace

void append_page_start(std::string& out) {
    out += head_start;
    out += leaflet_style();
    out += page_style;
    out += head_end;
    out += leaflet_script();
    out += body_start;
}

void append_page_end(std::string& out) {
    out += page_script;
}

}  // namespace velmora
