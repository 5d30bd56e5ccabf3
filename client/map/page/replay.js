// SPDX-License-Identifier: GPL-3.0-or-later
// The route replay layer: a vehicle's track from the position history, coloured by speed, its stops of
// two minutes or more marked with their duration, and a marker the client moves along as the replay
// plays. Three functions the client calls (each checked with typeof first, so a page without this file
// simply has no replay):
//   showReplay({points: [[lat, lng, speed_kmh, s_from_start], ...], stops: [[lat, lng, "label"], ...],
//               offset: [lat, lng]})
//     (places as reported; the optional offset is the vehicle's street-map correction in degrees, added
//     on street maps and not on photo maps, as the fleet layer does)
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

// What is shown, kept as reported so that another base layer can place it again: the points, the stops,
// the street-map correction ([lat, lng] in degrees, added on street maps as for the live vehicles) and
// the marker's last place ([lat, lng, course_deg]).
var replayPoints = [];
var replayStops = [];
var replayOffset = [0, 0];
var replayMarkerPlace = null;

function clearReplay() {
  replayLayer.clearLayers();
  replayMarker = null;
  replayPoints = [];
  replayStops = [];
  replayOffset = [0, 0];
  replayMarkerPlace = null;
  if (map.hasLayer(replayLayer)) map.removeLayer(replayLayer);
  if (replayLegend) {
    map.removeControl(replayLegend);
    replayLegend = null;
  }
}

// Where a reported place is drawn: with the correction on a street map, as reported on a photo map (as the
// live vehicles are). A corrected place off the world is drawn where it was reported.
function replayShownAt(lat, lng) {
  var photo = typeof isPhotoType === 'function' && typeof currentMapType === 'function' &&
              isPhotoType(currentMapType());
  if (photo) return L.latLng(lat, lng);
  var shiftedLat = lat + replayOffset[0], shiftedLng = lng + replayOffset[1];
  if (Math.abs(shiftedLat) > 90 || Math.abs(shiftedLng) > 180) return L.latLng(lat, lng);
  return L.latLng(shiftedLat, shiftedLng);
}

function replayLine(run, band) {
  L.polyline(run, { color: REPLAY_BANDS[band][1], weight: 5, opacity: 0.9, renderer: replayRenderer })
      .addTo(replayLayer);
}

// Draws the kept track, stops and marker into replayLayer for the current base layer; returns the bounds
// of what it drew.
function replayDraw() {
  replayLayer.clearLayers();
  var points = replayPoints;
  // One line per run of points in the same speed band, joined to the next run so the track has no gaps.
  var run = [];
  var runBand = -1;
  var bounds = L.latLngBounds([]);
  var previous = null;
  var previousS = 0;
  for (var i = 0; i < points.length; i++) {
    var p = points[i];
    var reported = L.latLng(replayNumber(p[0]), replayNumber(p[1]));
    var latLng = replayShownAt(reported.lat, reported.lng);
    var band = replayBand(replayNumber(p[2]));
    var atS = replayNumber(p[3]);
    bounds.extend(latLng);
    // Gaps are judged on the reported places, so that both maps break the line at the same points.
    var gap = previous !== null && atS - previousS > REPLAY_GAP_S &&
              previous.distanceTo(reported) > REPLAY_GAP_METRES;
    if ((band !== runBand || gap) && run.length > 0) {
      if (!gap) run.push(latLng);
      if (run.length > 1) replayLine(run, runBand);
      run = [];
    }
    previous = reported;
    previousS = atS;
    runBand = band;
    run.push(latLng);
  }
  if (run.length > 1 || (run.length === 1 && points.length === 1)) replayLine(run, runBand);
  for (var s = 0; s < replayStops.length; s++) {
    var stop = replayStops[s];
    var label = document.createElement('span');
    label.textContent = String(stop[2] === undefined ? '' : stop[2]);
    L.circleMarker(replayShownAt(replayNumber(stop[0]), replayNumber(stop[1])), {
      radius: 9, color: '#8e0000', weight: 2, fillColor: '#ffffff', fillOpacity: 0.95
    }).bindTooltip(label, { permanent: true, direction: 'right', offset: [10, 0], className: 'replay-stop' })
      .addTo(replayLayer);
  }
  var place = replayMarkerPlace || [replayNumber(points[0][0]), replayNumber(points[0][1]), 0];
  replayMarker = L.marker(replayShownAt(place[0], place[1]), {
    icon: typeof headingIcon === 'function' ? headingIcon(place[2]) : new L.Icon.Default(),
    zIndexOffset: 1000,
    interactive: false
  }).addTo(replayLayer);
  return bounds;
}

function showReplay(data) {
  clearReplay();
  var points = (data && Array.isArray(data.points)) ? data.points : [];
  if (points.length === 0) return;
  // The replay decides what the map shows: the live vehicle is no longer followed.
  if (typeof setFollowing === 'function') setFollowing(false);
  replayPoints = points;
  replayStops = Array.isArray(data.stops) ? data.stops : [];
  // A client that sends no correction gets the track drawn as reported.
  if (Array.isArray(data.offset) && data.offset.length === 2)
    replayOffset = [replayNumber(data.offset[0]), replayNumber(data.offset[1])];
  var bounds = replayDraw();
  replayLayer.addTo(map);
  replayLegend = new ReplayLegend().addTo(map);
  if (bounds.isValid()) map.fitBounds(bounds, { padding: [30, 30], maxZoom: 17 });
}

function moveReplayMarker(place) {
  if (!replayMarker || !Array.isArray(place)) return;
  replayMarkerPlace = [replayNumber(place[0]), replayNumber(place[1]), replayNumber(place[2])];
  replayMarker.setLatLng(replayShownAt(replayMarkerPlace[0], replayMarkerPlace[1]));
  if (typeof headingIcon === 'function') replayMarker.setIcon(headingIcon(replayMarkerPlace[2]));
}

// Another base layer may change whether the correction applies: everything is placed again, without
// moving the view.
map.on('baselayerchange', function () {
  if (replayPoints.length > 0) replayDraw();
});
