# Shared compile settings and the helpers that turn one source folder into one library
# and one test folder into one test executable.

function(orv_apply_settings target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                             -Wcast-qual -Wformat=2 -Wimplicit-fallthrough)
    if(ORV_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
  target_compile_definitions(${target} PRIVATE QT_NO_CAST_FROM_ASCII QT_NO_KEYWORDS
                                               QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
endfunction()

if(ORV_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

# orv_add_library(<folder> [PUBLIC deps...] [PRIVATE deps...])
# Builds every .cpp of src/<folder> into the static library orv_<folder> (alias orv::<folder>).
function(orv_add_library folder)
  cmake_parse_arguments(ARG "" "" "PUBLIC;PRIVATE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*/*.cpp)
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*/*.h)
  add_library(orv_${folder} STATIC ${sources} ${headers})
  add_library(orv::${folder} ALIAS orv_${folder})
  target_include_directories(orv_${folder} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(orv_${folder} PUBLIC ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE})
  set_target_properties(orv_${folder} PROPERTIES AUTOMOC ON)
  orv_apply_settings(orv_${folder})
endfunction()

# orv_add_test_suite(<folder> LIBS libs... [WIDGETS])
# Builds every .cpp of tests/<folder> into the test executable test_<folder>.
function(orv_add_test_suite folder)
  cmake_parse_arguments(ARG "WIDGETS" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(test_${folder} ${sources})
  set_target_properties(test_${folder} PROPERTIES AUTOMOC ON
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(ARG_WIDGETS)
    target_link_libraries(test_${folder} PRIVATE orv_test_support_widgets ${ARG_LIBS})
  else()
    target_link_libraries(test_${folder} PRIVATE orv_test_support ${ARG_LIBS})
  endif()
  target_compile_definitions(test_${folder} PRIVATE
    ORV_SOURCE_DIR="${PROJECT_SOURCE_DIR}" ORV_APP_DIR="${ORV_APP_DIR}")
  orv_apply_settings(test_${folder})
  add_dependencies(test_${folder} orv_runtime_folders)
  gtest_discover_tests(test_${folder}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()

# orv_add_program_tests(<prefix> TIMEOUT <seconds> [LABELS labels...] [ARGS extra arguments...])
# Registers every test_*.py of the current folder as the test <prefix>.<name>: each script
# drives the built program, which it is given with the source folder and the extra arguments.
# Without python3 or the program (a build of the tests alone) nothing is registered.
function(orv_add_program_tests prefix)
  cmake_parse_arguments(ARG "" "TIMEOUT" "LABELS;ARGS" ${ARGN})
  find_package(Python3 COMPONENTS Interpreter)
  if(NOT Python3_Interpreter_FOUND OR NOT TARGET orvendale)
    message(STATUS "The ${prefix} tests need python3 and the program: not registered")
    return()
  endif()
  file(GLOB scripts CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/test_*.py)
  foreach(script ${scripts})
    get_filename_component(name ${script} NAME_WE)
    add_test(NAME ${prefix}.${name}
      COMMAND ${Python3_EXECUTABLE} ${script} --program $<TARGET_FILE:orvendale> --source ${PROJECT_SOURCE_DIR}
              ${ARG_ARGS})
    set_tests_properties(${prefix}.${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    if(ARG_LABELS)
      set_tests_properties(${prefix}.${name} PROPERTIES LABELS "${ARG_LABELS}")
    endif()
  endforeach()
endfunction()
