# The history window (Qt), included from this folder's CMakeLists.txt. It shows load errors
# through the platform's UserMessages interface.
if(NOT KESSMAR_CORE_ONLY)
  add_library(kessmar_batch_ui STATIC
    ${CMAKE_CURRENT_LIST_DIR}/TfrmHistory.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TfrmHistory.h
  )
  target_include_directories(kessmar_batch_ui PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(kessmar_batch_ui PUBLIC kessmar_batch Qt6::Widgets)
  set_target_properties(kessmar_batch_ui PROPERTIES AUTOMOC ON)
endif()
