# Install rules and the Debian package (CPack's DEB generator, `cpack -G DEB` or
# scripts/package.sh). The program loads libZivizar32.so and reads Resource/ from its own
# folder, so the three go into one folder:
#   <prefix>/bin/StreamCourier, qxhost, libZivizar32.so, Resource/*.bmp
#   <prefix>/share/doc/streamcourier/README.md
# The prefix is /opt/streamcourier, for `cmake --install` too unless given.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /opt/streamcourier CACHE PATH "Install prefix" FORCE)
endif()

# qxhost goes in as well: it starts the StreamCourier beside it, so an integrator can try the
# installed program without the meeting client.
set(sc_programs bin)
install(TARGETS StreamCourier qxhost RUNTIME DESTINATION ${sc_programs})
install(TARGETS Zivizar32 LIBRARY DESTINATION ${sc_programs})
install(FILES Resource/default_video.bmp Resource/unopen_audio_video.bmp
        DESTINATION ${sc_programs}/Resource)
install(FILES README.md DESTINATION share/doc/streamcourier)
# Installed binaries carry no RPATH (INSTALL_RPATH is empty: CMake drops the build's). Their
# DWARF goes, their symbol table stays: lldb names the functions of a crash's minidump from it.
install(CODE "
  foreach(file $<TARGET_FILE_NAME:StreamCourier> $<TARGET_FILE_NAME:qxhost>
               $<TARGET_FILE_NAME:Zivizar32>)
    set(path \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${sc_programs}/\${file}\")
    execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug \"\${path}\" RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR \"strip --strip-debug \${path}: \${failed}\")
    endif()
  endforeach()
")

find_program(SC_DPKG dpkg)
if(NOT SC_DPKG)
  message(STATUS "no dpkg: no Debian package")
  return()
endif()
execute_process(COMMAND ${SC_DPKG} --print-architecture
                OUTPUT_VARIABLE SC_DEB_ARCHITECTURE OUTPUT_STRIP_TRAILING_WHITESPACE)

set(SC_PACKAGE_MAINTAINER
    "StreamCourier maintainers <maintainers@users.noreply.c-seed-e483b0b7.example>"
    CACHE STRING "The Debian package's Maintainer field")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME streamcourier)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${SC_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Companion streaming process of a desktop meeting client")
set(CPACK_PACKAGE_DESCRIPTION
    "StreamCourier is started by the meeting client (StreamCourier -port N), connects back to it
over loopback TCP and obeys its XML control messages: it composes the participants' video
from shared memory into one canvas, mixes their sound, and pushes H.264 and AAC over RTMP or
RTMPS; it also records the screen. qxhost, the host simulator, plays the meeting client's
side for trying it out.")
set(CPACK_PACKAGING_INSTALL_PREFIX /opt/streamcourier)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${SC_DEB_ARCHITECTURE})
set(CPACK_DEBIAN_PACKAGE_SECTION video)
# Depends: from the shared libraries the binaries link (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(SC_PACKAGE_FILE_NAME streamcourier_${PROJECT_VERSION}_${SC_DEB_ARCHITECTURE}.deb)
set(CPACK_DEBIAN_FILE_NAME ${SC_PACKAGE_FILE_NAME})
include(CPack)
