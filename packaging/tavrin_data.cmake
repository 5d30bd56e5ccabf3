# SPDX-License-Identifier: GPL-3.0-or-later
# The client's read-only data, installed to share/tavrin/ where the installed client looks after the
# user's folder (~/.config/tavrin/) and the executable's: the language files and the skin images. The
# window icon and the map page are compiled into the program as Qt resources.
set(tavrin_resources ${PROJECT_SOURCE_DIR}/client/resources)
install(DIRECTORY ${tavrin_resources}/Language DESTINATION ${CMAKE_INSTALL_DATADIR}/tavrin FILES_MATCHING PATTERN "*.ini")
install(DIRECTORY ${tavrin_resources}/image DESTINATION ${CMAKE_INSTALL_DATADIR}/tavrin FILES_MATCHING PATTERN "*.bmp")
