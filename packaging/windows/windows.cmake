# Windows: one folder holds the programs, every DLL and Qt plugin they load, the MinGW runtime,
# the default config.xml and the demo images (`cmake --install build-windows --prefix STAGE`).
# scripts/windows.sh makes the setup program and the zip from that folder.
set(win_src ${CMAKE_CURRENT_LIST_DIR})

# The icon inside the programs, for Explorer and the shortcuts.
configure_file(${win_src}/registrador.rc ${CMAKE_BINARY_DIR}/registrador.rc @ONLY)
set_property(SOURCE ${CMAKE_BINARY_DIR}/registrador.rc PROPERTY OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/data/registrador.ico)
target_sources(registrador PRIVATE ${CMAKE_BINARY_DIR}/registrador.rc)
# A window program: no console opens beside it when it is started from the Start menu.
set_target_properties(registrador PROPERTIES WIN32_EXECUTABLE ON)

get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
if(NOT qt_core_dll)
  get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION)
endif()
get_filename_component(kit_bin ${qt_core_dll} DIRECTORY)
get_filename_component(kit_root ${kit_bin} DIRECTORY)

set(REGISTRADOR_RUNTIME_DLLS
  Qt6Core Qt6Gui Qt6Widgets Qt6Charts Qt6OpenGL Qt6OpenGLWidgets Qt6SerialPort Qt6Svg Qt6Sql sqlite3
  libstdc++-6 libgcc_s_seh-1 libwinpthread-1)
foreach(dll IN LISTS REGISTRADOR_RUNTIME_DLLS)
  install(FILES ${kit_bin}/${dll}.dll DESTINATION .)
endforeach()
# Qt looks for its plugins in these folders beside the program.
install(FILES ${kit_root}/plugins/platforms/qwindows.dll DESTINATION platforms)
install(FILES ${kit_root}/plugins/styles/qwindowsvistastyle.dll DESTINATION styles)
install(DIRECTORY ${kit_root}/plugins/imageformats ${kit_root}/plugins/iconengines ${kit_root}/plugins/sqldrivers
        DESTINATION . FILES_MATCHING PATTERN "*.dll")

# The toolkit's dialogs in Portuguese: the kit carries no translations, and Qt's are the same
# files on every system.
install(FILES /usr/share/qt6/translations/qtbase_pt_BR.qm DESTINATION translations OPTIONAL)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/config.xml DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/data/demo.img ${CMAKE_SOURCE_DIR}/data/semana.img ${CMAKE_SOURCE_DIR}/data/exemplo.img DESTINATION exemplos)
install(FILES ${CMAKE_SOURCE_DIR}/data/registrador.ico DESTINATION .)
