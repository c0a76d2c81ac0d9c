# Shared build rules.

# wxWidgets base + xml, static, through its own wx-config.
execute_process(COMMAND ${WX_PREFIX}/bin/wx-config --prefix=${WX_PREFIX} --static=yes --unicode=yes --cxxflags base,xml
                OUTPUT_VARIABLE _wx_cxxflags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${WX_PREFIX}/bin/wx-config --prefix=${WX_PREFIX} --static=yes --unicode=yes --libs base,xml
                OUTPUT_VARIABLE _wx_libs OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
separate_arguments(_wx_cxxflags UNIX_COMMAND "${_wx_cxxflags}")
separate_arguments(_wx_libs UNIX_COMMAND "${_wx_libs}")
add_library(wx INTERFACE)
target_compile_options(wx INTERFACE ${_wx_cxxflags})
target_link_directories(wx INTERFACE ${EXPAT_PREFIX}/lib)
target_link_libraries(wx INTERFACE ${_wx_libs})

# ordavia_library(name sources...): a static library of one subsystem; includes are rooted at
# the repository ("kest/String.h").
function(ordavia_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${ORDAVIA_WARNINGS})
endfunction()

# ordavia_test(name sources... LIBS libs...): one GoogleTest executable, one ctest entry, run
# under Wine (every Wine start costs time, so cases are not split into entries).
function(ordavia_test name)
  cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  target_compile_options(${name} PRIVATE ${ORDAVIA_WARNINGS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gmock gtest_main)
  target_link_options(${name} PRIVATE ${ORDAVIA_STATIC_LINK})
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
endfunction()

# A module for build/dist (exe or DLL): undecorated __stdcall exports, static runtime.
function(ordavia_dist target)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${DIST} PREFIX "")
  target_link_options(${target} PRIVATE ${ORDAVIA_STATIC_LINK} -Wl,--kill-at)
endfunction()

# ordavia_flavour_def(def out_var): the .def file for this flavour. The files carry the 32-bit
# __stdcall decorations ("Name@8"); the 64-bit flavour has one calling convention and no
# decorations, so its copy drops them. Also sets ORDAVIA_DLLTOOL_FLAGS for the flavour.
function(ordavia_flavour_def def out_var)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    get_filename_component(_name ${def} NAME_WE)
    file(READ ${def} _def)
    string(REGEX REPLACE "@[0-9]+" "" _def "${_def}")
    set(_out ${CMAKE_CURRENT_BINARY_DIR}/def64/${_name}.def)
    file(CONFIGURE OUTPUT ${_out} CONTENT "${_def}" @ONLY)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def})
    set(${out_var} ${_out} PARENT_SCOPE)
    set(ORDAVIA_DLLTOOL_FLAGS -m i386:x86-64 PARENT_SCOPE)
  else()
    set(${out_var} ${def} PARENT_SCOPE)
    set(ORDAVIA_DLLTOOL_FLAGS -k PARENT_SCOPE)
  endif()
endfunction()

# ordavia_delay_load(target name...): the target loads these system libraries the first time it
# calls one of their functions instead of before its first line (see cmake/delayload). The
# delayed import libraries lie in a folder of the target's own that the linker searches before
# the system's, so every "-l<name>" of the target's link, wxWidgets' included, finds them. The
# target links the delay-load helper itself (app/DelayedImports.cpp).
#
# Each listed function's stub is named to the linker as needed ("-u"): the 32-bit linker keeps
# an import stub's code only when something names the stub itself, while code built against
# the Windows headers calls through the stub's address slot, whose first value is that code.
# Without it the slot of a delayed function starts out empty and its first call jumps to 0.
function(ordavia_delay_load target)
  set(_dir ${CMAKE_CURRENT_BINARY_DIR}/delayload-${target})
  # A library taken off the list must not stay behind in the folder, where the link would
  # still find it.
  file(REMOVE_RECURSE ${_dir})
  set(_libs)
  foreach(_name ${ARGN})
    set(_source ${PROJECT_SOURCE_DIR}/cmake/delayload/${_name}.def)
    ordavia_flavour_def(${_source} _def)
    set(_lib ${_dir}/lib${_name}.a)
    add_custom_command(OUTPUT ${_lib}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${_dir}
      COMMAND ${CMAKE_DLLTOOL} ${ORDAVIA_DLLTOOL_FLAGS} -d ${_def} -y ${_lib}
      DEPENDS ${_source} VERBATIM)
    list(APPEND _libs ${_lib})
    file(STRINGS ${_def} _lines)
    foreach(_line ${_lines})
      string(STRIP "${_line}" _line)
      if(_line STREQUAL "" OR _line MATCHES "^(LIBRARY|EXPORTS|;)")
        continue()
      endif()
      if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(_line "_${_line}")  # the 32-bit C names carry a leading underscore
      endif()
      target_link_options(${target} PRIVATE "LINKER:-u,${_line}")
    endforeach()
  endforeach()
  add_custom_target(${target}_delayload DEPENDS ${_libs})
  add_dependencies(${target} ${target}_delayload)
  target_link_directories(${target} BEFORE PRIVATE ${_dir})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${_libs})
endfunction()
