# The student agent's installed files and its Debian package, velmora-student: the "student"
# component, beside the console's "teacher" one. Included by packaging/ before include(CPack),
# so its CPack variables take effect.
include(GNUInstallDirs)

set(student_dir ${CMAKE_CURRENT_LIST_DIR}/velmora-student)
set(student_build ${CMAKE_CURRENT_BINARY_DIR}/velmora-student)

install(TARGETS velmora-student RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT student)
# The system service, enabled and started by the package; /lib is where Debian 12 keeps units.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/velmora-student.service
        DESTINATION /lib/systemd/system COMPONENT student)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/velmora-student.ini DESTINATION /etc/velmora
        RENAME student.ini COMPONENT student)
# Drop-ins: configuration management sets the console here without editing the conffile.
install(DIRECTORY DESTINATION /etc/velmora/student.ini.d COMPONENT student)

set(student_page ${CMAKE_CURRENT_BINARY_DIR}/velmora-student.1)
configure_file(${CMAKE_CURRENT_LIST_DIR}/velmora-student.1 ${student_page} @ONLY)
configure_file(${student_dir}/changelog ${student_build}/changelog @ONLY)
add_custom_command(OUTPUT ${student_page}.gz ${student_build}/changelog.gz
                   COMMAND gzip -9 -n -c ${student_page} > ${student_page}.gz
                   COMMAND gzip -9 -n -c ${student_build}/changelog > ${student_build}/changelog.gz
                   DEPENDS ${student_page} ${student_build}/changelog VERBATIM)
add_custom_target(velmora_student_docs ALL DEPENDS ${student_page}.gz
                                                   ${student_build}/changelog.gz)
install(FILES ${student_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT student)
install(FILES ${student_dir}/copyright ${student_build}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmora-student COMPONENT student)
install(FILES ${student_dir}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME velmora-student COMPONENT student)

list(APPEND CPACK_COMPONENTS_ALL student)
set(CPACK_DEBIAN_STUDENT_PACKAGE_NAME velmora-student)
set(CPACK_DEBIAN_STUDENT_PACKAGE_SECTION education)
# Loaded at run time, so dpkg-shlibdeps cannot see them: Qt's X11 platform plugin, the
# Chinese font of the black-out line and the messages, the D-Bus daemon logind answers on.
# The maintainer scripts need debconf and the systemd helpers.
set(CPACK_DEBIAN_STUDENT_PACKAGE_DEPENDS
    "qt6-qpa-plugins, fonts-arphic-uming, dbus, debconf (>= 0.5) | debconf-2.0, init-system-helpers (>= 1.52)")
set(CPACK_DEBIAN_STUDENT_PACKAGE_RECOMMENDS "libglib2.0-bin, systemd")
# The admin's settings survive upgrades and are kept on removal.
# dpkg reads the list only under the name "conffiles", the other scripts under theirs.
configure_file(${CMAKE_CURRENT_LIST_DIR}/velmora-student.conffiles ${student_build}/conffiles
               COPYONLY)
set(CPACK_DEBIAN_STUDENT_PACKAGE_CONTROL_EXTRA ${student_build}/conffiles)
foreach(script config templates preinst postinst prerm postrm)
  list(APPEND CPACK_DEBIAN_STUDENT_PACKAGE_CONTROL_EXTRA ${student_dir}/${script})
endforeach()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_STUDENT_DISPLAY_NAME "Velmora student agent")
set(CPACK_DEBIAN_STUDENT_DESCRIPTION "student agent of the Velmora classroom network-teaching suite
A system service on every computer of a lab: it connects to the teacher's
Velmora console and obeys it. Log off, restart and shut down are carried
out through logind; messages, black-out, the teacher's demonstration,
screen monitoring and the lab's programs are handled by a part that the
service runs in each X11 session as the logged-in user, and starts again
when a student ends it. Custom commands are off unless the admin allows
them in /etc/velmora/student.ini or a drop-in in /etc/velmora/student.ini.d/.")
