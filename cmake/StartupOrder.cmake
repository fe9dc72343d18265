# The code the tool runs while it waits in the tray is laid out together, in front of the code of
# the roads it seldom takes (back office, update, history). The kernel maps a program's code in
# runs of 64 KB around each page it touches, so scattered start-up code keeps most of the program
# resident for the whole day.
#
# Every object is compiled with one section per function, and lld places the functions that
# src/app/startup-order.txt names first (scripts/startup-order.sh writes that list). A stale list
# only costs memory: functions it does not name keep the usual order.
option(KESSMAR_STARTUP_ORDER "Lay out the tool's start-up code together (needs lld)" ON)

set(KESSMAR_STARTUP_ORDER_ACTIVE OFF)
if(KESSMAR_STARTUP_ORDER AND NOT WIN32 AND NOT KESSMAR_SANITIZE AND NOT KESSMAR_FUZZ)
  find_program(KESSMAR_LLD ld.lld)
  if(KESSMAR_LLD)
    add_compile_options(-ffunction-sections)
    set(KESSMAR_STARTUP_ORDER_ACTIVE ON)
  else()
    message(STATUS "ld.lld not found: the tool's start-up code keeps the usual layout")
  endif()
endif()

# Links target with its start-up functions first, when the layout is active.
function(kessmar_order_startup_code target order_file)
  if(KESSMAR_STARTUP_ORDER_ACTIVE)
    target_link_options(${target} PRIVATE -fuse-ld=lld
      LINKER:--symbol-ordering-file=${order_file} LINKER:--no-warn-symbol-ordering)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${order_file})
  endif()
endfunction()
