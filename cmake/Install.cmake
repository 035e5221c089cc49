# Where `cmake --install` and the Debian package put the programs. The
# targets are defined in app/ and cli/.
install(TARGETS glwtool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET gridlume-voice-manager)
  install(TARGETS gridlume-voice-manager RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# Without the desktop app res/ is not built, but glwtool still wants its
# manual page.
if(NOT GLW_BUILD_GUI)
  add_subdirectory(${PROJECT_SOURCE_DIR}/res/linux ${PROJECT_BINARY_DIR}/res/linux)
endif()
