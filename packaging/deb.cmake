# The Debian package: "cpack -G DEB" in the build directory makes mirehollow_<version>_amd64.deb.
set(CPACK_PACKAGE_NAME mirehollow)
set(CPACK_PACKAGE_VENDOR "Mirehollow developers")
set(CPACK_PACKAGE_CONTACT "Mirehollow developers <mirehollow@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "night woodland screen saver over the photographed desktop")
set(CPACK_PACKAGE_DESCRIPTION "Mirehollow darkens the desktop while an animated night woodland\n\
fades in over it, with fireflies that carry lights. It runs on its own (mhollow)\n\
or as an xscreensaver display mode (mirehollow); mhpack builds its asset packages.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
# Linked libraries are found by dpkg-shlibdeps; the image library is bound at run time by
# name and the label's font is looked up through fontconfig, so both are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libdevil1c2, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xscreensaver")
include(CPack)
