# The simulated machine: the built-in default machine is compiled in from its .reg text.
set(ZP_DEFAULT_MACHINE ${CMAKE_CURRENT_SOURCE_DIR}/platform/sim/default_machine.reg)
set(ZP_DEFAULT_MACHINE_CC ${CMAKE_CURRENT_BINARY_DIR}/default_machine_text.cc)
add_custom_command(
  OUTPUT ${ZP_DEFAULT_MACHINE_CC}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${ZP_DEFAULT_MACHINE} -DOUTPUT=${ZP_DEFAULT_MACHINE_CC}
          -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed_text.cmake
  DEPENDS ${ZP_DEFAULT_MACHINE} ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed_text.cmake
  VERBATIM)
target_sources(zp PRIVATE ${ZP_DEFAULT_MACHINE_CC})
