// SPDX-License-Identifier: GPL-3.0-or-later
// A tile layer drawn in the page itself: lines of equal latitude and longitude, with their degree values
// along the top and left edges of the map. It stands in for the map tiles when no tile server answers, so
// that the track and the markers still have a visible place.
'use strict';

L.CoordinateGrid = L.GridLayer.extend({
  // labelMargin keeps the longitude labels clear of the zoom buttons and the view's float button beside
  // them; bottomMargin keeps the latitude labels clear of the scale bar in the bottom left corner.
  options: { tileSize: 256, minPixelsBetweenLines: 90, zIndex: 5, labelMargin: 100, bottomMargin: 40 },

  // The finest step of 1, 2 or 5 times a power of ten whose lines stay far enough apart at this zoom.
  _stepFor: function (zoom) {
    var degreesPerPixel = 360 / (this.options.tileSize * Math.pow(2, zoom));
    var wanted = degreesPerPixel * this.options.minPixelsBetweenLines;
    var steps = [1, 2, 5];
    for (var exponent = -5; exponent <= 2; exponent++) {
      for (var i = 0; i < steps.length; i++) {
        var step = steps[i] * Math.pow(10, exponent);
        if (step >= wanted) return { step: step, decimals: Math.max(0, -exponent) };
      }
    }
    return { step: 100, decimals: 0 };
  },

  onAdd: function (map) {
    L.GridLayer.prototype.onAdd.call(this, map);
    this._labels = L.DomUtil.create('div', 'coordinate-grid-labels', map.getContainer());
    map.on('move zoomend resize viewreset', this._placeLabels, this);
    this._placeLabels();
  },

  onRemove: function (map) {
    map.off('move zoomend resize viewreset', this._placeLabels, this);
    L.DomUtil.remove(this._labels);
    this._labels = null;
    L.GridLayer.prototype.onRemove.call(this, map);
  },

  _label: function (value, decimals, positive, negative) {
    var text = Math.abs(value).toFixed(decimals) + '\u00b0';
    if (value > 0) return text + positive;
    if (value < 0) return text + negative;
    return text;
  },

  _addLabel: function (text, left, top) {
    var label = L.DomUtil.create('div', 'coordinate-grid-label', this._labels);
    label.textContent = text;
    label.style.left = left + 'px';
    label.style.top = top + 'px';
  },

  _placeLabels: function () {
    var map = this._map;
    if (!map || !this._labels) return;
    this._labels.textContent = '';
    var bounds = map.getBounds();
    var grid = this._stepFor(map.getZoom());
    var step = grid.step;
    var center = map.getCenter();
    for (var i = Math.ceil(bounds.getWest() / step); i * step <= bounds.getEast(); i++) {
      var x = map.latLngToContainerPoint([center.lat, i * step]).x;
      if (x < this.options.labelMargin) continue;  // under the buttons
      this._addLabel(this._label(i * step, grid.decimals, 'E', 'W'), Math.round(x) + 3, 2);
    }
    var height = map.getSize().y;
    for (var j = Math.ceil(bounds.getSouth() / step); j * step <= bounds.getNorth(); j++) {
      var y = map.latLngToContainerPoint([j * step, center.lng]).y;
      if (y < 86) continue;  // under the zoom buttons
      if (y > height - this.options.bottomMargin) continue;  // the label would cover the scale bar
      this._addLabel(this._label(j * step, grid.decimals, 'N', 'S'), 3, Math.round(y) - 16);
    }
  },

  createTile: function (coords) {
    var size = this.getTileSize();
    var canvas = L.DomUtil.create('canvas', 'leaflet-tile');
    canvas.width = size.x;
    canvas.height = size.y;
    var context = canvas.getContext('2d');
    var map = this._map;
    var topLeft = coords.scaleBy(size);
    var northWest = map.unproject(topLeft, coords.z);
    var southEast = map.unproject(topLeft.add(size), coords.z);
    var grid = this._stepFor(coords.z);
    var step = grid.step;

    context.fillStyle = '#eeece6';
    context.fillRect(0, 0, size.x, size.y);
    context.strokeStyle = '#a9a59a';
    context.lineWidth = 1;

    // Lines are counted in whole steps, so that no rounding error builds up along the tile.
    for (var i = Math.ceil(northWest.lng / step); i * step <= southEast.lng; i++) {
      var lng = i * step;
      var x = Math.round(map.project([northWest.lat, lng], coords.z).x - topLeft.x) + 0.5;
      context.beginPath();
      context.moveTo(x, 0);
      context.lineTo(x, size.y);
      context.stroke();
    }
    for (var j = Math.ceil(southEast.lat / step); j * step <= northWest.lat; j++) {
      var lat = j * step;
      var y = Math.round(map.project([lat, northWest.lng], coords.z).y - topLeft.y) + 0.5;
      context.beginPath();
      context.moveTo(0, y);
      context.lineTo(size.x, y);
      context.stroke();
    }
    return canvas;
  }
});
