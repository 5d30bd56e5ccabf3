// SPDX-License-Identifier: GPL-3.0-or-later
// The route replay layer: a vehicle's track from the position history, coloured by speed, its stops of
// two minutes or more marked with their duration, and a marker the client moves along as the replay
// plays. Three functions the client calls (each checked with typeof first, so a page without this file
// simply has no replay):
//   showReplay({points: [[lat, lng, speed_kmh, s_from_start], ...], stops: [[lat, lng, "label"], ...]})
//   moveReplayMarker([lat, lng, course_deg])
//   clearReplay()
// Labels reach the page as text only (textContent), never as markup.
'use strict';

// The unit comes from the client in the user's language (mapSettings, made before the page's scripts).
var REPLAY_UNIT = String((typeof mapSettings === 'object' && mapSettings.speedUnit) || 'km/h');
var REPLAY_BANDS = [
  [10, '#7b3294', '< 10 ' + REPLAY_UNIT],
  [30, '#2c7bb6', '10-30 ' + REPLAY_UNIT],
  [50, '#1a9641', '30-50 ' + REPLAY_UNIT],
  [80, '#f07c00', '50-80 ' + REPLAY_UNIT],
  [Infinity, '#d7191c', '>= 80 ' + REPLAY_UNIT]
];
var replayLayer = L.layerGroup();
var replayRenderer = L.canvas({ padding: 0.5 });
var replayMarker = null;
var replayLegend = null;
// A silence this long that ends far away is a gap in the history (the client or the vehicle was off): the
// line breaks there instead of drawing a straight line the vehicle never drove.
var REPLAY_GAP_S = 180;
var REPLAY_GAP_METRES = 200;

function replayBand(speed) {
  for (var i = 0; i < REPLAY_BANDS.length; i++) {
    if (speed < REPLAY_BANDS[i][0]) return i;
  }
  return REPLAY_BANDS.length - 1;
}

function replayNumber(value) {
  var number = Number(value);
  return isFinite(number) ? number : 0;
}

var ReplayLegend = L.Control.extend({
  options: { position: 'bottomright' },
  onAdd: function () {
    var box = L.DomUtil.create('div', 'replay-legend');
    for (var i = 0; i < REPLAY_BANDS.length; i++) {
      var row = L.DomUtil.create('div', 'replay-legend-row', box);
      var swatch = L.DomUtil.create('span', 'replay-legend-swatch', row);
      swatch.style.background = REPLAY_BANDS[i][1];
      var text = L.DomUtil.create('span', '', row);
      text.textContent = REPLAY_BANDS[i][2];
    }
    return box;
  }
});

function clearReplay() {
  replayLayer.clearLayers();
  replayMarker = null;
  if (map.hasLayer(replayLayer)) map.removeLayer(replayLayer);
  if (replayLegend) {
    map.removeControl(replayLegend);
    replayLegend = null;
  }
}

function showReplay(data) {
  clearReplay();
  var points = (data && Array.isArray(data.points)) ? data.points : [];
  var stops = (data && Array.isArray(data.stops)) ? data.stops : [];
  if (points.length === 0) return;
  // The replay decides what the map shows: the live vehicle is no longer followed.
  if (typeof setFollowing === 'function') setFollowing(false);
  // One line per run of points in the same speed band, joined to the next run so the track has no gaps.
  var run = [];
  var runBand = -1;
  var bounds = L.latLngBounds([]);
  var previous = null;
  var previousS = 0;
  for (var i = 0; i < points.length; i++) {
    var p = points[i];
    var latLng = L.latLng(replayNumber(p[0]), replayNumber(p[1]));
    var band = replayBand(replayNumber(p[2]));
    var atS = replayNumber(p[3]);
    bounds.extend(latLng);
    var gap = previous !== null && atS - previousS > REPLAY_GAP_S &&
              previous.distanceTo(latLng) > REPLAY_GAP_METRES;
    if ((band !== runBand || gap) && run.length > 0) {
      if (!gap) run.push(latLng);
      if (run.length > 1) {
        L.polyline(run, { color: REPLAY_BANDS[runBand][1], weight: 5, opacity: 0.9, renderer: replayRenderer })
            .addTo(replayLayer);
      }
      run = [];
    }
    previous = latLng;
    previousS = atS;
    runBand = band;
    run.push(latLng);
  }
  if (run.length > 1 || (run.length === 1 && points.length === 1)) {
    L.polyline(run, { color: REPLAY_BANDS[runBand][1], weight: 5, opacity: 0.9, renderer: replayRenderer })
        .addTo(replayLayer);
  }
  for (var s = 0; s < stops.length; s++) {
    var stop = stops[s];
    var label = document.createElement('span');
    label.textContent = String(stop[2] === undefined ? '' : stop[2]);
    L.circleMarker([replayNumber(stop[0]), replayNumber(stop[1])], {
      radius: 9, color: '#8e0000', weight: 2, fillColor: '#ffffff', fillOpacity: 0.95
    }).bindTooltip(label, { permanent: true, direction: 'right', offset: [10, 0], className: 'replay-stop' })
      .addTo(replayLayer);
  }
  replayMarker = L.marker(L.latLng(replayNumber(points[0][0]), replayNumber(points[0][1])), {
    icon: typeof headingIcon === 'function' ? headingIcon(0) : new L.Icon.Default(),
    zIndexOffset: 1000,
    interactive: false
  }).addTo(replayLayer);
  replayLayer.addTo(map);
  replayLegend = new ReplayLegend().addTo(map);
  if (bounds.isValid()) map.fitBounds(bounds, { padding: [30, 30], maxZoom: 17 });
}

function moveReplayMarker(place) {
  if (!replayMarker || !Array.isArray(place)) return;
  replayMarker.setLatLng([replayNumber(place[0]), replayNumber(place[1])]);
  if (typeof headingIcon === 'function') replayMarker.setIcon(headingIcon(replayNumber(place[2])));
}
