# The Debian package: `cpack -G DEB` in a build folder, after the build.
# dpkg-shlibdeps derives the libraries the executable links (Qt 6 Widgets and Gui,
# whose package also holds the xcb platform plugin, GStreamer, TinyXML, SimpleIni);
# what is loaded only at run time is listed by hand: the GStreamer plugins the
# pipelines create (base: videoconvert, appsink, videotestsrc; good: v4l2src, jpegdec;
# ugly: x264enc; bad: h264parse; libav: avdec_h264; x: the clock overlay) and a font
# with the Chinese glyphs (Noto Serif CJK SC, the dialogs' Song-style face, is in
# fonts-noto-cjk alone).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME OrvexClient)
set(CPACK_PACKAGE_VENDOR OrvexClient)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "OrvexClient maintainers <maintainers@orvexclient.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Surveillance client for the USB cameras of one PC")
set(CPACK_PACKAGE_DESCRIPTION "Shows up to four USB cameras live in a grid, records the H.264
stream of every camera marked for recording into .264 files, and keeps an
event log. An operator starts it and leaves it running.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE ORVEX_DEB_ARCH
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT ORVEX_DEB_ARCH)
  set(ORVEX_DEB_ARCH ${CMAKE_SYSTEM_PROCESSOR})
endif()
set(CPACK_PACKAGE_FILE_NAME OrvexClient-${PROJECT_VERSION}-${ORVEX_DEB_ARCH})

set(CPACK_DEBIAN_PACKAGE_NAME ${ORVEX_DESKTOP_ID})
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-ugly, gstreamer1.0-plugins-bad, gstreamer1.0-libav, gstreamer1.0-x, fonts-noto-cjk")

# cpack installs without building the whole tree first (the package test runs it
# from CTest, where a build must not start); build before packaging.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
