// SPDX-License-Identifier: GPL-3.0-or-later
// The map page: the client writes the latest position of the selected vehicle into the hidden input
// elements and calls refreshMap; the page keeps the track and the markers of that vehicle.
//
// Texts from the client (the vehicle id above all) reach the map only as marker titles, which the map
// library sets as attributes, never as markup.
'use strict';

// Set by the client before the page's scripts run: tile address templates and layer names.
var mapSettings = window.tavrinMapSettings || {};

var DEFAULT_ROAD_TILES = 'https://tile.openstreetmap.org/{z}/{x}/{y}.png';
var DEFAULT_PHOTO_TILES =
    'https://server.arcgisonline.com/ArcGIS/rest/services/World_Imagery/MapServer/tile/{z}/{y}/{x}';

var roadTiles = mapSettings.roadTiles || DEFAULT_ROAD_TILES;
var photoTiles = mapSettings.photoTiles || DEFAULT_PHOTO_TILES;

// Every path here is relative to the page, so that the resource copy and a copy beside the program work
// alike.
L.Icon.Default.imagePath = 'leaflet/images/';

var map = L.map('map_canvas', { attributionControl: false, zoomControl: true })
    .setView([Number(document.getElementById('map_lat').value),
              Number(document.getElementById('map_lng').value)], 16);
L.control.attribution({ prefix: false }).addTo(map);
L.control.scale({ imperial: false }).addTo(map);

var roadLayer = L.tileLayer(roadTiles, {
  maxZoom: 19,
  attribution: roadTiles === DEFAULT_ROAD_TILES ? '\u00a9 OpenStreetMap contributors' : ''
});
var photoLayer = L.tileLayer(photoTiles, {
  maxZoom: 19,
  attribution: photoTiles === DEFAULT_PHOTO_TILES ? 'Imagery \u00a9 Esri' : ''
});
var gridLayer = new L.CoordinateGrid();
roadLayer.addTo(map);

var baseLayers = {};
baseLayers[mapSettings.roadName || 'Road map'] = roadLayer;
baseLayers[mapSettings.photoName || 'Satellite'] = photoLayer;
var overlays = {};
overlays[mapSettings.gridName || 'Coordinate grid'] = gridLayer;
L.control.layers(baseLayers, overlays, { collapsed: true }).addTo(map);

// The grid comes up by itself while the shown tile layer has not delivered a single tile (an error, or
// nothing after a few seconds) and goes again with the first tile that loads.
var gridShownForMissingTiles = false;

function showGridForMissingTiles() {
  if (map.hasLayer(gridLayer)) return;
  gridShownForMissingTiles = true;
  gridLayer.addTo(map);
}

function watchTiles(layer) {
  layer.tilesLoaded = 0;
  layer.on('tileload', function () {
    layer.tilesLoaded++;
    if (gridShownForMissingTiles && map.hasLayer(layer)) {
      gridShownForMissingTiles = false;
      map.removeLayer(gridLayer);
    }
  });
  layer.on('tileerror', function () {
    if (layer.tilesLoaded === 0 && map.hasLayer(layer)) showGridForMissingTiles();
  });
}
watchTiles(roadLayer);
watchTiles(photoLayer);

function checkTilesArrived() {
  var shown = map.hasLayer(photoLayer) ? photoLayer : roadLayer;
  if (shown.tilesLoaded === 0) showGridForMissingTiles();
}
setTimeout(checkTilesArrived, 4000);
map.on('baselayerchange', function () { setTimeout(checkTilesArrived, 4000); });

// Follow: the map keeps the selected vehicle in its centre. Dragging the map by hand turns it off (the
// operator looks elsewhere); the control or a new track turns it on again.
var following = true;

// Set once the operator has pointed at the map (pressed, scrolled, touched or typed on it): from then on the
// page never moves the view on its own to show the whole fleet.
var userMovedMap = false;
['mousedown', 'wheel', 'touchstart', 'keydown'].forEach(function (name) {
  L.DomEvent.on(map.getContainer(), name, function () { userMovedMap = true; });
});

var FollowControl = L.Control.extend({
  options: { position: 'topright' },
  onAdd: function () {
    var bar = L.DomUtil.create('div', 'leaflet-bar fleet-follow');
    var button = L.DomUtil.create('a', '', bar);
    button.href = '#';
    button.setAttribute('role', 'button');
    button.textContent = mapSettings.followName || 'Follow';
    L.DomEvent.disableClickPropagation(bar);
    L.DomEvent.on(button, 'click', function (event) {
      L.DomEvent.preventDefault(event);
      setFollowing(!following);
    });
    this.button = button;
    return bar;
  }
});
var followControl = new FollowControl().addTo(map);

function showFollowing() {
  var button = followControl.button;
  if (following) L.DomUtil.addClass(button, 'fleet-follow-on');
  else L.DomUtil.removeClass(button, 'fleet-follow-on');
  button.setAttribute('aria-pressed', following ? 'true' : 'false');
}

function setFollowing(on) {
  following = on;
  showFollowing();
  if (on && firstPoint === 0) map.panTo([lastLat, lastLng]);
}
showFollowing();
map.on('dragstart', function () { setFollowing(false); });

var TRACK_STYLE = { color: '#FF0000', opacity: 0.5, weight: 5 };
// The track is drawn as segments: `track` is the one that grows, `trackSegments` the earlier ones. A jump
// (the center restarted, the vehicle was off the air) starts a new segment rather than a straight line
// across country the vehicle never drove.
var track = L.polyline([], TRACK_STYLE).addTo(map);
var trackSegments = [];
// A move is a jump when it is longer than JUMP_MIN_METRES and would have needed more than JUMP_MIN_KMH, or
// when it is longer than GAP_MIN_METRES after GAP_MS without a new position. Shorter moves stay joined:
// a few positions arriving together after a stall are still one drive.
var JUMP_MIN_METRES = 1000;
var JUMP_MIN_KMH = 300;
var GAP_MS = 3 * 60 * 1000;
var GAP_MIN_METRES = 200;
var lastPointMs = 0;

function isJump(fromLat, fromLng, toLat, toLng, elapsedMs) {
  var metres = map.distance([fromLat, fromLng], [toLat, toLng]);
  if (!isFinite(metres)) return false;
  if (elapsedMs >= GAP_MS && metres > GAP_MIN_METRES) return true;
  if (metres <= JUMP_MIN_METRES) return false;
  var hours = Math.max(elapsedMs, 1) / 3600000;
  return metres / 1000 / hours > JUMP_MIN_KMH;
}

function startTrackSegment() {
  trackSegments.push(track);
  track = L.polyline([], TRACK_STYLE).addTo(map);
}

// Page state.
var lastLng = 0;
var lastLat = 0;
var mapType = 'roadmap';  // the type seen by the last refresh
var currentIndex = 0;
var vehicleId = '';
var firstPoint = 1;
var markers = [];

var HEADINGS = [
  [349, 'n'], [326, 'nnw'], [304, 'nw'], [281, 'nww'], [259, 'w'], [236, 'sww'], [214, 'sw'],
  [191, 'ssw'], [169, 's'], [146, 'sse'], [124, 'se'], [101, 'see'], [79, 'e'], [56, 'nee'],
  [34, 'ne'], [11, 'nne']
];

// The heading icon's name: the first threshold the course exceeds, north when none.
function headingName(angle) {
  for (var i = 0; i < HEADINGS.length; i++) {
    if (angle > HEADINGS[i][0]) return HEADINGS[i][1];
  }
  return 'n';
}

function headingIcon(angle) {
  return L.icon({ iconUrl: 'icons/' + headingName(angle) + '.svg', iconSize: [32, 32], iconAnchor: [16, 16] });
}

function currentMapType() {
  return map.hasLayer(photoLayer) ? 'satellite' : 'roadmap';
}

function isPhotoType(type) {
  return type === 'satellite' || type === 'hybrid';
}

function elementValue(id) {
  var element = document.getElementById(id);
  return element ? String(element.value) : '';
}

// A number from an element; text that is no finite number counts as 0.
function elementNumber(id) {
  var value = parseFloat(elementValue(id));
  return isFinite(value) ? value : 0;
}

function removeMarkersAndTrack() {
  for (var i = 0; i < markers.length; i++) map.removeLayer(markers[i]);
  markers = [];
  for (var s = 0; s < trackSegments.length; s++) map.removeLayer(trackSegments[s]);
  trackSegments = [];
  track.setLatLngs([]);
}

function addMarker(lat, lng, title, icon) {
  var options = { title: title, keyboard: false };
  if (icon) options.icon = icon;
  var marker = L.marker([lat, lng], options).addTo(map);
  markers.push(marker);
  return marker;
}

function refreshMap() {
  var status = elementValue('map_status');
  var lng = elementNumber('map_lng');
  var lat = elementNumber('map_lat');
  var offsetLng = elementNumber('offset_lng');
  var offsetLat = elementNumber('offset_lat');
  var angle = elementNumber('AngleBar');

  if (status === 'clear') {
    removeMarkersAndTrack();
    if (typeof fleetTrackCleared === 'function') fleetTrackCleared();
    firstPoint = 1;
    lastLng = 0;
    lastLat = 0;
    return;
  }
  if (status !== 'running') {
    if (firstPoint === 1) return;
    if (lng === 0 || lat === 0) {
      lng = lastLng;
      lat = lastLat;
    }
    addMarker(lat, lng, 'End Point - ' + vehicleId);
    firstPoint = 1;
    lastLng = 0;
    lastLat = 0;
    return;
  }
  if (lng === 0 && lat === 0) return;
  // Nothing outside the earth's coordinates is drawn.
  if (Math.abs(lat) > 90 || Math.abs(lng) > 180) return;

  var index = Math.trunc(elementNumber('Index'));
  if (index !== currentIndex) {
    currentIndex = index;
    firstPoint = 1;
  }
  var type = currentMapType();
  if (isPhotoType(type) !== isPhotoType(mapType) && (offsetLng !== 0 || offsetLat !== 0)) firstPoint = 1;
  mapType = type;
  if (!isPhotoType(type)) {
    lng += offsetLng;
    lat += offsetLat;
    if (Math.abs(lat) > 90 || Math.abs(lng) > 180) return;
  }
  if (firstPoint !== 1 && lng === lastLng && lat === lastLat) return;

  var nowMs = Date.now();
  var started = firstPoint === 1;
  if (!started && isJump(lastLat, lastLng, lat, lng, nowMs - lastPointMs)) startTrackSegment();
  lastLng = lng;
  lastLat = lat;
  lastPointMs = nowMs;
  // A vehicle just chosen is shown where it stands out of the fleet's clusters: as close as that needs,
  // never farther out than the operator had the map.
  var zoom = map.getZoom();
  if (started) {
    vehicleId = elementValue('VehicleId');
    firstPoint = 0;
    following = true;
    showFollowing();
    removeMarkersAndTrack();
    addMarker(lat, lng, 'Start Point - ' + vehicleId);
    if (typeof fleetUnclusterZoom === 'function') zoom = Math.max(zoom, fleetUnclusterZoom(currentIndex));
    // The car marker below shows the vehicle: the fleet layer leaves it out meanwhile, so it is drawn once.
    if (typeof fleetTrackStarted === 'function') fleetTrackStarted(currentIndex);
  } else if (markers.length > 1) {
    map.removeLayer(markers.pop());
  }
  addMarker(lat, lng, 'Car Point - ' + vehicleId, headingIcon(angle));
  track.addLatLng([lat, lng]);
  if (!following) return;
  if (zoom !== map.getZoom()) map.setView([lat, lng], zoom, { animate: false });
  else map.panTo([lat, lng]);
}

// Called by the client after the view was docked or floated: the map takes its new size and shows the
// vehicle again.
function centerMap() {
  map.invalidateSize();
  if (firstPoint === 0 && following) map.panTo([lastLat, lastLng]);
}

setInterval(refreshMap, 1500);
