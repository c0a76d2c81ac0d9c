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
