# The student agent's installed files and its Debian package, velmora-student: the "student"
# component, beside the console's "teacher" one. Included by packaging/ before include(CPack),
# so its CPack variables take effect.
include(GNUInstallDirs)

install(TARGETS velmora-student RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT student)
# Started in every user's X11 session at login.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/velmora-student.desktop
        DESTINATION /etc/xdg/autostart COMPONENT student)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/velmora-student.ini DESTINATION /etc/velmora
        RENAME student.ini COMPONENT student)

set(student_page ${CMAKE_CURRENT_BINARY_DIR}/velmora-student.1)
configure_file(${CMAKE_CURRENT_LIST_DIR}/velmora-student.1 ${student_page} @ONLY)
add_custom_command(OUTPUT ${student_page}.gz
                   COMMAND gzip -9 -n -c ${student_page} > ${student_page}.gz
                   DEPENDS ${student_page} VERBATIM)
add_custom_target(velmora_student_man_page ALL DEPENDS ${student_page}.gz)
install(FILES ${student_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT student)

list(APPEND CPACK_COMPONENTS_ALL student)
set(CPACK_DEBIAN_STUDENT_PACKAGE_NAME velmora-student)
set(CPACK_DEBIAN_STUDENT_PACKAGE_SECTION education)
# Loaded at run time, so dpkg-shlibdeps cannot see them: Qt's X11 platform plugin, the
# Chinese font of the black-out line and the messages, the D-Bus daemon the managers sit on.
set(CPACK_DEBIAN_STUDENT_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-arphic-uming, dbus")
set(CPACK_DEBIAN_STUDENT_PACKAGE_RECOMMENDS "libglib2.0-bin, systemd")
# The admin's settings and autostart entry survive upgrades and are kept on removal.
# dpkg reads the list only under the name "conffiles".
configure_file(${CMAKE_CURRENT_LIST_DIR}/velmora-student.conffiles
               ${CMAKE_CURRENT_BINARY_DIR}/velmora-student-control/conffiles COPYONLY)
set(CPACK_DEBIAN_STUDENT_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_BINARY_DIR}/velmora-student-control/conffiles)
set(CPACK_COMPONENT_STUDENT_DISPLAY_NAME "Velmora student agent")
set(CPACK_COMPONENT_STUDENT_DESCRIPTION "student agent of the Velmora classroom network-teaching suite
Runs in the student's X11 session on every computer of a lab, connects to the teacher's
Velmora console and obeys it: messages, black-out, the teacher's demonstration, screen
monitoring, starting the lab's programs, log off, restart and shut down. Custom commands are
off unless the admin allows them in /etc/velmora/student.ini.")
