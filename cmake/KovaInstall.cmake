# Install layout (GNUInstallDirs) and the pieces each package is made of.
#
#   bin/KOVA8_Duvu, bin/kova-crated
#   lib/<multiarch>/kova8-duvu/libkovaapi.so, libkova8api.so   private, found by RPATH
#   share/kova8-duvu/KOVA8.bio                                  the desktop entry's Path=
#   share/applications, share/icons/hicolor, share/metainfo, share/man/man1
#
# Component kova_program is the package kova8-duvu (the window, its libraries,
# the firmware file, the menu entry); kova_crated is the package kova-crated.
# A further program of the kova8-duvu package calls
# kova_install_program_executable(target) and kova_install_man_page(file.1 kova_program).
include(GNUInstallDirs)

set(KOVA_PACKAGE kova8-duvu)
set(KOVA_APP_ID org.kova.kova8_duvu)
set(KOVA_PROGRAM_COMPONENT kova_program)
set(KOVA_CRATED_COMPONENT kova_crated)
set(KOVA_INSTALL_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/${KOVA_PACKAGE})
set(KOVA_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/${KOVA_PACKAGE})

# bin/ to the private library folder, so an unpacked or relocated tree finds
# the libraries without LD_LIBRARY_PATH.
file(RELATIVE_PATH _kova_bin_to_libs ${CMAKE_INSTALL_FULL_BINDIR}
    ${CMAKE_INSTALL_PREFIX}/${KOVA_INSTALL_PRIVATE_LIBDIR})
if(IS_ABSOLUTE ${KOVA_INSTALL_PRIVATE_LIBDIR})
    file(RELATIVE_PATH _kova_bin_to_libs ${CMAKE_INSTALL_FULL_BINDIR}
        ${KOVA_INSTALL_PRIVATE_LIBDIR})
endif()
set(KOVA_INSTALL_RPATH "$ORIGIN/${_kova_bin_to_libs}")

# An executable of the kova8-duvu package, linked against the device libraries.
function(kova_install_program_executable target)
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "${KOVA_INSTALL_RPATH}")
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT ${KOVA_PROGRAM_COMPONENT})
    set_property(GLOBAL APPEND PROPERTY KOVA_PACKAGE_TARGETS ${target})
endfunction()

# A roff page, installed compressed (as Debian wants it) into man1 of the component.
function(kova_install_man_page page component)
    get_filename_component(_name ${page} NAME)
    set(_gz ${CMAKE_CURRENT_BINARY_DIR}/man/${_name}.gz)
    add_custom_command(OUTPUT ${_gz}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
        COMMAND gzip -n -9 -c ${CMAKE_CURRENT_SOURCE_DIR}/${page} > ${_gz}
        DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${page}
        COMMENT "Compressing the manual page ${_name}")
    string(MAKE_C_IDENTIFIER "kova_man_${_name}" _target)
    add_custom_target(${_target} ALL DEPENDS ${_gz})
    install(FILES ${_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
    set_property(GLOBAL APPEND PROPERTY KOVA_PACKAGE_TARGETS ${_target})
endfunction()
