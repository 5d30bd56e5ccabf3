# SPDX-License-Identifier: GPL-3.0-or-later
#The built - in map page as Qt resources under : / map : the page and its scripts from client / map / page,
#Leaflet and Leaflet.markercluster from Debian's libjs-leaflet and libjs-leaflet.markercluster (taken at build
#time, nothing is fetched from the internet), and the
#sixteen heading icons, drawn here as SVG arrows turned in steps of 22.5 degrees.
find_path(LEAFLET_DIR leaflet.js leaflet.css PATHS /usr/share/javascript/leaflet NO_DEFAULT_PATH REQUIRED)
# Debian's libjs-leaflet.markercluster installs beside Leaflet.
find_path(MARKERCLUSTER_DIR leaflet.markercluster.js MarkerCluster.css MarkerCluster.Default.css
          PATHS /usr/share/javascript/leaflet.markercluster /usr/share/javascript/leaflet NO_DEFAULT_PATH REQUIRED)

set(map_page_out ${CMAKE_CURRENT_BINARY_DIR}/map_page)
set(map_page_files)
foreach(name mapdlg.htm map.js fleet.js coordinate_grid.js geofence.js replay.js)
  configure_file(${CMAKE_CURRENT_SOURCE_DIR}/map/page/${name} ${map_page_out}/${name} COPYONLY)
  list(APPEND map_page_files ${map_page_out}/${name})
endforeach()
foreach(name leaflet.js leaflet.css images/layers.png images/layers-2x.png images/marker-icon.png
             images/marker-icon-2x.png images/marker-shadow.png)
  configure_file(${LEAFLET_DIR}/${name} ${map_page_out}/leaflet/${name} COPYONLY)
  list(APPEND map_page_files ${map_page_out}/leaflet/${name})
endforeach()

foreach(name leaflet.markercluster.js MarkerCluster.css MarkerCluster.Default.css)
  configure_file(${MARKERCLUSTER_DIR}/${name} ${map_page_out}/leaflet.markercluster/${name} COPYONLY)
  list(APPEND map_page_files ${map_page_out}/leaflet.markercluster/${name})
endforeach()

set(map_headings n nne ne nee e see se sse s ssw sw sww w nww nw nnw)
set(heading_index 0)
foreach(heading ${map_headings})
  math(EXPR tenths "${heading_index} * 225")
  math(EXPR whole "${tenths} / 10")
  math(EXPR fraction "${tenths} % 10")
  set(heading_svg "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"32\" height=\"32\" viewBox=\"0 0 32 32\">
<circle cx=\"16\" cy=\"16\" r=\"13\" fill=\"#ffffff\" fill-opacity=\"0.92\" stroke=\"#1f4e9c\" stroke-width=\"2\"/>
<path transform=\"rotate(${whole}.${fraction} 16 16)\" d=\"M16 4 L22 26 L16 21 L10 26 Z\" fill=\"#1f4e9c\"/>
</svg>
")
  file(CONFIGURE OUTPUT ${map_page_out}/icons/${heading}.svg CONTENT "${heading_svg}")
  list(APPEND map_page_files ${map_page_out}/icons/${heading}.svg)
  math(EXPR heading_index "${heading_index} + 1")
endforeach()

qt_add_resources(tavrin_client tavrin_map_page PREFIX /map BASE ${map_page_out} FILES ${map_page_files})
