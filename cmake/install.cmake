# Installation of the Linux build (GNU install directories, Debian's layout
# for games) and its packages: `cpack -G DEB` writes quillon_<version>_amd64.deb,
# `cpack -G TGZ` the installed tree as quillon-linux-x86_64.tar.gz.
include(GNUInstallDirs)

set(quillon_package_dir ${CMAKE_SOURCE_DIR}/scripts/linux)
set(quillon_docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/quillon)
# The folders an installer creates are readable by everyone, whatever the
# umask of the user who builds the package.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The icon, cut by the generator from the show's own pictures, in the layout
# of an icon theme's folder.
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/icons/128x128/apps/quillon.png
  COMMAND $<TARGET_FILE:quillon-assets> --icon ${CMAKE_BINARY_DIR}/icons
  DEPENDS quillon-assets
  COMMENT "Making the program's icon in ${CMAKE_BINARY_DIR}/icons"
  VERBATIM)
# Man pages and the change log go into a package compressed, with no name or
# time in the gzip header, so the same sources give the same bytes.
set(quillon_compressed)
foreach(source man/quillon.6 man/quillon-assets.1 man/quillon-capture.1 man/quillon-scene.1 man/quillon-sound.1
               changelog)
  get_filename_component(name ${source} NAME)
  set(output ${CMAKE_BINARY_DIR}/compressed/${name}.gz)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/compressed
    COMMAND sh -c "gzip -9nc \"$0\" >\"$1\"" ${quillon_package_dir}/${source} ${output}
    DEPENDS ${quillon_package_dir}/${source}
    VERBATIM)
  list(APPEND quillon_compressed ${output})
endforeach()
add_custom_target(install_files ALL DEPENDS ${CMAKE_BINARY_DIR}/icons/128x128/apps/quillon.png ${quillon_compressed})

# The show finds its data set relative to its own file, as
# ../share/games/quillon/show/: these two folders keep that distance whatever
# the prefix, so an unpacked tarball plays wherever it lies.
install(TARGETS quillon RUNTIME DESTINATION games)
install(DIRECTORY ${CMAKE_BINARY_DIR}/show/ DESTINATION share/games/quillon/show)
install(TARGETS quillon-assets quillon-scene quillon-capture quillon-sound RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${quillon_package_dir}/quillon.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(DIRECTORY ${CMAKE_BINARY_DIR}/icons/ DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor)
install(FILES ${CMAKE_BINARY_DIR}/compressed/quillon.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${CMAKE_BINARY_DIR}/compressed/quillon-assets.1.gz ${CMAKE_BINARY_DIR}/compressed/quillon-capture.1.gz
              ${CMAKE_BINARY_DIR}/compressed/quillon-scene.1.gz ${CMAKE_BINARY_DIR}/compressed/quillon-sound.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE ${quillon_package_dir}/copyright
              ${CMAKE_BINARY_DIR}/compressed/changelog.gz
        DESTINATION ${quillon_docdir})

# The packages. The Debian package installs under /usr (CPack's default for
# DEB); the tarball holds the tree under one folder of its own name.
set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VENDOR "the Quillon crew")
set(CPACK_PACKAGE_CONTACT "the Quillon crew <crew@quillon.invalid>")
set(CPACK_PACKAGE_FILE_NAME quillon-linux-x86_64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "real-time audiovisual demo of 2D and 3D effects
Quillon plays a fixed show of about 79 seconds, drawn with OpenGL in time
with its music: titles as fading echoes, a flight through a night city with
a stream of light particles, translucent layers, a grid of moving lenses, a
second 3D scene with an animated screen and a glass knot leaving a feedback
trail beside the end scroller.

The package holds the show (from the Games menu, or quillon in a terminal,
with options for a window, seeking, pausing and looping), its data set, and
the tools that made it: quillon-assets (the data set from code),
quillon-scene (inspects scenes and meshes), quillon-capture (renders the show
offline into pictures or a video) and quillon-sound (the sample bank with
reverb presets).")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries the programs link are found by dpkg-shlibdeps; OpenGL and GLU
# are loaded by name when the show starts, and the generator sets its text in
# DejaVu Sans and its captions in League Spartan.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1, libglu1-mesa, fonts-dejavu-core, fonts-league-spartan")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ffmpeg")
include(CPack)
