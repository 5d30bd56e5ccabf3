# The client's read-only data, installed to share/tavrin/ where the installed client looks after the
# user's folder: the language files and the skin.
set(tavrin_resources ${PROJECT_SOURCE_DIR}/client/resources)
if(EXISTS ${tavrin_resources}/Language)
  install(DIRECTORY ${tavrin_resources}/Language DESTINATION ${CMAKE_INSTALL_DATADIR}/tavrin FILES_MATCHING PATTERN "*.ini")
endif()
