# `cmake --install build --prefix P`: bin/zendra, bin/marrowby and the program folder as
# share/zendra (where platform::ProgramFolder() looks for it beside PREFIX/bin); the desktop
# files come from resources/desktop. `cpack -G DEB` in the build folder makes the Debian
# package of the same tree, its library dependencies found by dpkg-shlibdeps.
# Fixed folder names: the program finds its folder as ../share/zendra from its own.
install(TARGETS zendra marrowby RUNTIME DESTINATION bin)
# Everything the build put into the program folder but the executables (installed above) and
# the pictures made for people to look at.
# The build folder's path goes into a regular expression: its special characters are escaped.
string(REGEX REPLACE "([][+.*?()^$|\\])" "\\\\\\1" program_dir_regex "${ZENDRA_PROGRAM_DIR}")
install(DIRECTORY ${ZENDRA_PROGRAM_DIR}/ DESTINATION share/zendra
  USE_SOURCE_PERMISSIONS
  REGEX "^${program_dir_regex}/(zendra|marrowby|contact-sheet\\.png|dialog-previews\\.png)$" EXCLUDE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zendra)
set(CPACK_PACKAGE_VENDOR Velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "photo organiser and editor")
set(CPACK_PACKAGE_DESCRIPTION "Zendra is a photo organiser and editor: an album of the photos on the computer,
and editor tabs with layers, masks, tools and image filters. It opens JPEG, PNG,
TIFF, GIF, BMP, TGA, PCX and camera RAW files and its own layered project files
(.zdoc).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Velmora <zendra@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://zendra.example.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beyond the libraries: the face every text falls back to, and xdg-open for help and links.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core, xdg-utils")
# The desktop's file chooser (else the program asks for the path itself) and the italic faces.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "zenity, fonts-dejavu-extra")
include(CPack)
