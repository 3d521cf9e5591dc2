# Installation of the command-line tool and its documents, and the Debian package.
if(VELMO_WINDOWS)
  return()
endif()
include(GNUInstallDirs)

if(TARGET velmo)
  install(TARGETS velmo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

configure_file(${PROJECT_SOURCE_DIR}/docs/velmo.1 ${PROJECT_BINARY_DIR}/velmo.1 @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/velmo.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(VELMO_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/velmo)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${VELMO_DOC_DIR})
file(GLOB VELMO_DOC_PICTURES ${PROJECT_SOURCE_DIR}/docs/*.png)
if(VELMO_DOC_PICTURES)
  install(FILES ${VELMO_DOC_PICTURES} DESTINATION ${VELMO_DOC_DIR}/docs)
endif()
if(EXISTS ${PROJECT_SOURCE_DIR}/docs/help)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/help/ DESTINATION ${VELMO_DOC_DIR}/help)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmo)
set(CPACK_PACKAGE_VERSION ${VELMO_VERSION_TEXT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "motion-adaptive deinterlacer")
set(CPACK_PACKAGE_DESCRIPTION "Deinterlaces video only where the picture moves: still areas keep
their full vertical resolution, moving areas are rebuilt from one field. The same filter as the
Velmo VirtualDub modules, for any video FFmpeg can read.")
set(CPACK_PACKAGE_CONTACT "The Velmo developers <velmo@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Video files are decoded and encoded by the ffmpeg program.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "ffmpeg")
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR}/package)
include(CPack)
