// SPDX-License-Identifier: GPL-3.0-or-later
// The geofence layer: the operator's zones drawn over the map, and a small drawing tool for new ones.
// The client sends the zones through showZones (see MapZone::PageList for the format), each with the
// street-map correction of its place, which is added on street maps as for the vehicles. A new circle is
// a click on its centre and a click on its edge; a new polygon is a click per corner, closed with the
// finish button or a double-click. The shape goes to the client through the fleet bridge's drawZone,
// which asks the operator for its name. Zone names are text only: set with textContent, never as markup.
'use strict';

var geofenceLayer = L.layerGroup().addTo(map);
var geofenceZones = [];
var geofenceDraft = null;  // { kind: 'circle' | 'polygon', points: [L.LatLng], shape: layer }
var GEOFENCE_STYLE = { color: '#7b1fa2', weight: 2, opacity: 0.9, fillOpacity: 0.12 };
var GEOFENCE_DRAFT_STYLE = { color: '#e65100', weight: 2, dashArray: '6 4', fillOpacity: 0.08 };

function geofenceShownAt(lat, lng, offset) {
  if (isPhotoType(currentMapType())) return [lat, lng];
  return [lat + offset[0], lng + offset[1]];
}

function geofenceLabel(name) {
  var label = document.createElement('span');
  label.textContent = String(name);
  return label;
}

function drawGeofences() {
  geofenceLayer.clearLayers();
  for (var i = 0; i < geofenceZones.length; i++) {
    var zone = geofenceZones[i];
    var offset = zone.offset || [0, 0];
    var shape;
    if (zone.radius_m > 0 && zone.points.length === 1) {
      shape = L.circle(geofenceShownAt(zone.points[0][0], zone.points[0][1], offset),
                       Object.assign({ radius: zone.radius_m }, GEOFENCE_STYLE));
    } else {
      var corners = [];
      for (var j = 0; j < zone.points.length; j++)
        corners.push(geofenceShownAt(zone.points[j][0], zone.points[j][1], offset));
      shape = L.polygon(corners, GEOFENCE_STYLE);
    }
    shape.bindTooltip(geofenceLabel(zone.name), { permanent: true, direction: 'center',
                                                  className: 'geofence-label' });
    geofenceLayer.addLayer(shape);
  }
}

function showZones(zones) {
  geofenceZones = Array.isArray(zones) ? zones : [];
  drawGeofences();
  return geofenceZones.length;
}

map.on('baselayerchange', drawGeofences);

function geofenceSend(shape) {
  shape.photo = isPhotoType(currentMapType());
  if (fleetBridge && typeof fleetBridge.drawZone === 'function') fleetBridge.drawZone(shape);
}

function geofenceEndDraft() {
  if (geofenceDraft && geofenceDraft.shape) map.removeLayer(geofenceDraft.shape);
  geofenceDraft = null;
  map.doubleClickZoom.enable();
  L.DomUtil.removeClass(map.getContainer(), 'geofence-drawing');
}

function geofenceStart(kind) {
  geofenceEndDraft();
  geofenceDraft = { kind: kind, points: [], shape: null };
  map.doubleClickZoom.disable();
  L.DomUtil.addClass(map.getContainer(), 'geofence-drawing');
}

function geofenceFinish() {
  if (!geofenceDraft) return;
  var draft = geofenceDraft;
  if (draft.kind === 'polygon' && draft.points.length >= 3) {
    var corners = [];
    for (var i = 0; i < draft.points.length; i++) corners.push([draft.points[i].lat, draft.points[i].lng]);
    geofenceSend({ polygon: corners });
  }
  geofenceEndDraft();
}

map.on('click', function (event) {
  if (!geofenceDraft) return;
  var draft = geofenceDraft;
  draft.points.push(event.latlng);
  if (draft.kind === 'circle') {
    if (draft.points.length === 1) {
      draft.shape = L.circle(event.latlng, Object.assign({ radius: 1 }, GEOFENCE_DRAFT_STYLE)).addTo(map);
      return;
    }
    var centre = draft.points[0];
    geofenceSend({ circle: { lat: centre.lat, lng: centre.lng, radius_m: map.distance(centre, event.latlng) } });
    geofenceEndDraft();
    return;
  }
  if (draft.shape) map.removeLayer(draft.shape);
  draft.shape = L.polygon(draft.points, GEOFENCE_DRAFT_STYLE).addTo(map);
});

map.on('mousemove', function (event) {
  if (geofenceDraft && geofenceDraft.kind === 'circle' && geofenceDraft.shape)
    geofenceDraft.shape.setRadius(map.distance(geofenceDraft.points[0], event.latlng));
});

map.on('dblclick', function () {
  if (geofenceDraft && geofenceDraft.kind === 'polygon') geofenceFinish();
});

L.DomEvent.on(document, 'keydown', function (event) {
  if (event.key === 'Escape') geofenceEndDraft();
  if (event.key === 'Enter') geofenceFinish();
});

var GeofenceTools = L.Control.extend({
  options: { position: 'topleft' },
  onAdd: function () {
    var bar = L.DomUtil.create('div', 'leaflet-bar geofence-tools');
    var titles = mapSettings.geofenceTitles || {};
    [['circle', '\u25EF', titles.circle || 'Draw a circular zone'],
     ['polygon', '\u2B20', titles.polygon || 'Draw a polygonal zone'],
     ['finish', '\u2713', titles.finish || 'Finish the zone']].forEach(function (tool) {
      var button = L.DomUtil.create('a', 'geofence-tool', bar);
      button.href = '#';
      button.textContent = tool[1];
      button.title = tool[2];
      button.setAttribute('data-tool', tool[0]);
      L.DomEvent.disableClickPropagation(button);
      L.DomEvent.on(button, 'click', function (event) {
        L.DomEvent.preventDefault(event);
        if (tool[0] === 'finish') geofenceFinish();
        else geofenceStart(tool[0]);
      });
    });
    return bar;
  }
});
new GeofenceTools().addTo(map);
