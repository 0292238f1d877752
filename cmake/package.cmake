# Debian package of the installed tree: `cpack -G DEB` in a release build
# writes kestrune_<version>_amd64.deb (see `scripts/dev.sh package`).
set(CPACK_PACKAGE_NAME kestrune)
set(CPACK_PACKAGE_VENDOR "Kestrune developers")
set(CPACK_PACKAGE_CONTACT "Kestrune developers <kestrune@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop tool for exercising UDP and TCP links by hand")
set(CPACK_PACKAGE_DESCRIPTION [[
Kestrune opens a UDP link, a TCP server or a TCP client, shows what arrives
(as text or hex, with source headers, timestamps and byte counters, optionally
captured to a file) and sends text or hex bytes once, in a timed loop, or a
whole file. In server mode it lists the connected clients and offers a
group-chat relay.]])
set(CPACK_PACKAGE_HOMEPAGE_URL "https://github.com/kestrune/kestrune")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps derives the libraries the program links (Debian 12's Qt 6.4
# among them). Added by hand: the xcb platform plugin loaded at run time, a
# font with the Chinese glyphs of the window's texts, and the hicolor theme
# that the installed icon is looked up in.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, fonts-wqy-microhei | fonts-noto-cjk, hicolor-icon-theme")

include(CPack)
