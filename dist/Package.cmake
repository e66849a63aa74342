# The Debian package (scripts/package): cpack -G DEB from the install rules. Its dependencies
# come from the binaries themselves through dpkg-shlibdeps, never from a typed list.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME droskal)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Droskal developers")
set(CPACK_PACKAGE_CONTACT "The Droskal developers <droskal@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for in-vehicle video recorder recordings")
set(CPACK_PACKAGE_DESCRIPTION
    "Droskal steps through the MPEG-1 recordings of an in-vehicle video recorder picture by
picture, plays them forward and backward, shows the recorded speed, date and time and puts
the GPS position on a calibrated map. droskal-cli exports pictures, GPS tracks and the
details of a recording.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${DROSKAL_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
