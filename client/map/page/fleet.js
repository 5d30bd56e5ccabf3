// SPDX-License-Identifier: GPL-3.0-or-later
// The fleet layer: every vehicle the client knows a position of, as a heading arrow with its vehicle id,
// coloured by its state, in clusters while zoomed out. The client feeds it through updateFleet, in
// batches (see FleetFeed for the format); a click on a vehicle selects it in the client, a double-click
// opens its channels, both through the web channel object "tavrinFleet".
//
// Vehicle ids reach the page as text only: labels and titles are set with textContent and as
// attributes, never as markup.
'use strict';

var FLEET_STATES = { online: true, offline: true, alarm: true };
var fleetMarkers = {};  // row -> marker
var fleetBridge = null;
// The row whose track the page draws: its car marker shows the vehicle, so its fleet marker stays out of
// the layer (kept in fleetMarkers, moved along) until the track is cleared. null: none.
var fleetTrackedRow = null;
// The first batch with vehicles brings the whole fleet into view, unless the operator has moved the map or
// a vehicle is being followed by then.
var fleetFitPending = true;
var FLEET_FIT_PADDING_PX = 24;
var FLEET_FIT_MAX_ZOOM = 16;

if (typeof QWebChannel === 'function' && window.qt && window.qt.webChannelTransport) {
  new QWebChannel(window.qt.webChannelTransport, function (channel) {
    fleetBridge = channel.objects.tavrinFleet || null;
  });
}

function fleetClusterIcon(cluster) {
  var children = cluster.getAllChildMarkers();
  var alarm = false;
  for (var i = 0; i < children.length && !alarm; i++) alarm = children[i].fleetState === 'alarm';
  var count = cluster.getChildCount();
  var size = count < 10 ? 'small' : count < 100 ? 'medium' : 'large';
  var outer = document.createElement('div');
  var number = document.createElement('span');
  number.textContent = String(count);
  outer.appendChild(number);
  return L.divIcon({
    html: outer,
    className: 'marker-cluster marker-cluster-' + size + (alarm ? ' fleet-cluster-alarm' : ''),
    iconSize: L.point(40, 40)
  });
}

var fleetLayer = L.markerClusterGroup({
  chunkedLoading: true,
  disableClusteringAtZoom: 16,
  spiderfyOnMaxZoom: false,
  showCoverageOnHover: false,
  iconCreateFunction: fleetClusterIcon
}).addTo(map);

// The heading in steps of 22.5 degrees, as the track's heading icons show it.
function fleetHeading(course) {
  return (Math.round(course / 22.5) % 16) * 22.5;
}

var FleetIcon = L.Icon.extend({
  options: { iconSize: [32, 32], iconAnchor: [16, 16], label: '', heading: 0, state: 'online' },

  createIcon: function () {
    var box = document.createElement('div');
    var svgNs = 'http://www.w3.org/2000/svg';
    var arrow = document.createElementNS(svgNs, 'svg');
    arrow.setAttribute('class', 'fleet-arrow');
    arrow.setAttribute('width', '32');
    arrow.setAttribute('height', '32');
    arrow.setAttribute('viewBox', '0 0 32 32');
    var circle = document.createElementNS(svgNs, 'circle');
    circle.setAttribute('cx', '16');
    circle.setAttribute('cy', '16');
    circle.setAttribute('r', '12');
    arrow.appendChild(circle);
    var path = document.createElementNS(svgNs, 'path');
    path.setAttribute('d', 'M16 5 L21.5 25 L16 20.5 L10.5 25 Z');
    path.setAttribute('transform', 'rotate(' + this.options.heading + ' 16 16)');
    arrow.appendChild(path);
    box.appendChild(arrow);
    var label = document.createElement('span');
    label.className = 'fleet-label';
    label.textContent = this.options.label;
    box.appendChild(label);
    this._setIconStyles(box, 'icon');
    // After the library's own classes, which _setIconStyles sets in place of any others.
    L.DomUtil.addClass(box, 'fleet-vehicle');
    L.DomUtil.addClass(box, 'fleet-' + this.options.state);
    return box;
  },

  createShadow: function () { return null; }
});

function fleetIcon(id, heading, state) {
  return new FleetIcon({ label: id, heading: heading, state: state });
}

function fleetNotify(kind, marker) {
  if (fleetBridge && typeof fleetBridge[kind] === 'function') fleetBridge[kind](marker.fleetRow, marker.fleetId);
}

function newFleetMarker(row, id, lat, lng, heading, state) {
  var marker = L.marker([lat, lng], { icon: fleetIcon(id, heading, state), title: id, keyboard: false });
  marker.fleetRow = row;
  marker.fleetId = id;
  marker.fleetHeading = heading;
  marker.fleetState = state;
  marker.on('click', function () { fleetNotify('select', marker); });
  marker.on('dblclick', function () { fleetNotify('open', marker); });
  return marker;
}

// Where a vehicle is drawn: its position plus its map offset on a street map; photos need no offset, as
// for the selected vehicle. A shifted position off the world is drawn where it was reported.
function fleetShownAt(raw) {
  if (isPhotoType(currentMapType())) return [raw[0], raw[1]];
  var lat = raw[0] + raw[2], lng = raw[1] + raw[3];
  if (Math.abs(lat) > 90 || Math.abs(lng) > 180) return [raw[0], raw[1]];
  return [lat, lng];
}

function fleetOffset(value) {
  return typeof value === 'number' && isFinite(value) ? value : 0;
}

function fleetInLayer(marker) {
  return marker.fleetRow !== fleetTrackedRow;
}

// Another base layer may change whether offsets apply: every marker is placed again.
map.on('baselayerchange', function () {
  var all = [];
  for (var row in fleetMarkers) {
    var marker = fleetMarkers[row];
    if (fleetInLayer(marker)) all.push(marker);
    else marker.setLatLng(fleetShownAt(marker.fleetRaw));
  }
  if (!all.length) return;
  fleetLayer.removeLayers(all);
  for (var i = 0; i < all.length; i++) all[i].setLatLng(fleetShownAt(all[i].fleetRaw));
  fleetLayer.addLayers(all);
});

// The lowest zoom at which the marker of `row` stands alone, out of every cluster (0 when the layer does
// not hold it). The cluster group keeps in __parent the cluster of the highest zoom that still holds the
// marker (the group's top level, below the map's minimum zoom, when it is never clustered); one zoom
// deeper it stands alone, and at disableClusteringAtZoom nothing is clustered.
function fleetUnclusterZoom(row) {
  var marker = fleetMarkers[row];
  if (!marker || !fleetInLayer(marker) || !fleetLayer.hasLayer(marker)) return 0;
  var limit = Math.min(fleetLayer.options.disableClusteringAtZoom, map.getMaxZoom());
  var parent = marker.__parent;
  if (!parent || typeof parent._zoom !== 'number') return limit;
  return Math.min(parent._zoom + 1, limit);
}

// Called by refreshMap when the track of vehicle `row` starts.
function fleetTrackStarted(row) {
  fleetTrackCleared();
  fleetTrackedRow = row;
  var marker = fleetMarkers[row];
  if (marker) fleetLayer.removeLayer(marker);
}

// Called by refreshMap when the track is wiped: the vehicle's fleet marker comes back.
function fleetTrackCleared() {
  var row = fleetTrackedRow;
  fleetTrackedRow = null;
  if (row !== null && fleetMarkers[row]) fleetLayer.addLayer(fleetMarkers[row]);
}

function fleetFitToFleet() {
  fleetFitPending = false;
  if (userMovedMap || (firstPoint === 0 && following)) return;
  var points = [];
  for (var row in fleetMarkers) points.push(fleetMarkers[row].getLatLng());
  if (!points.length) return;
  map.fitBounds(L.latLngBounds(points),
                { padding: [FLEET_FIT_PADDING_PX, FLEET_FIT_PADDING_PX], maxZoom: FLEET_FIT_MAX_ZOOM,
                  animate: false });
}

// Takes a batch: {"reset": bool, "vehicles": [[row, id, lat, lng, course, speed, state, offset_lat,
// offset_lng], ...]} (the two offsets may be missing: 0). Entries that are not of that form are skipped.
function updateFleet(batch) {
  if (!batch || typeof batch !== 'object') return;
  if (batch.reset === true) {
    fleetLayer.clearLayers();
    fleetMarkers = {};
    // A new session's fleet (after a logout) is brought into view again.
    if (!Array.isArray(batch.vehicles) || batch.vehicles.length === 0) fleetFitPending = true;
  }
  var vehicles = Array.isArray(batch.vehicles) ? batch.vehicles : [];
  var added = [];
  var removed = [];
  var moved = [];
  var movedTo = [];
  for (var i = 0; i < vehicles.length; i++) {
    var v = vehicles[i];
    if (!Array.isArray(v) || v.length < 7) continue;
    var row = v[0], id = v[1], lat = v[2], lng = v[3], course = v[4], state = v[6];
    if (typeof row !== 'number' || typeof id !== 'string') continue;
    var marker = fleetMarkers[row];
    var drawable = FLEET_STATES[state] === true && typeof lat === 'number' && typeof lng === 'number' &&
                   Math.abs(lat) <= 90 && Math.abs(lng) <= 180;
    if (!drawable) {
      if (marker) {
        if (fleetInLayer(marker)) removed.push(marker);
        delete fleetMarkers[row];
      }
      continue;
    }
    var heading = fleetHeading(typeof course === 'number' && isFinite(course) ? course : 0);
    var raw = [lat, lng, fleetOffset(v[7]), fleetOffset(v[8])];
    var shown = fleetShownAt(raw);
    if (!marker) {
      marker = newFleetMarker(row, id, shown[0], shown[1], heading, state);
      marker.fleetRaw = raw;
      fleetMarkers[row] = marker;
      if (fleetInLayer(marker)) added.push(marker);
      continue;
    }
    if (marker.fleetId !== id || marker.fleetHeading !== heading || marker.fleetState !== state) {
      marker.fleetId = id;
      marker.fleetHeading = heading;
      marker.fleetState = state;
      marker.options.title = id;
      marker.setIcon(fleetIcon(id, heading, state));
    }
    marker.fleetRaw = raw;
    var at = marker.getLatLng();
    if (at.lat !== shown[0] || at.lng !== shown[1]) {
      if (!fleetInLayer(marker)) {
        marker.setLatLng(shown);
        continue;
      }
      moved.push(marker);
      movedTo.push(shown);
    }
  }
  // The cluster group re-sorts moved markers fastest as one removal and one addition of them all.
  if (removed.length) fleetLayer.removeLayers(removed);
  if (moved.length) {
    fleetLayer.removeLayers(moved);
    for (var m = 0; m < moved.length; m++) moved[m].setLatLng(movedTo[m]);
  }
  var back = added.concat(moved);
  if (back.length) fleetLayer.addLayers(back);
  if (fleetFitPending && Object.keys(fleetMarkers).length) fleetFitToFleet();
}

// For tests and diagnostics: how many vehicles the layer holds.
function fleetSize() {
  return Object.keys(fleetMarkers).length;
}
