# Common compile settings shared by every target of the project.
add_library(zel_options INTERFACE)
target_include_directories(zel_options INTERFACE ${PROJECT_SOURCE_DIR})
if(MSVC)
  target_compile_options(zel_options INTERFACE /W4 /permissive- /utf-8)
  if(ZEL_WERROR)
    target_compile_options(zel_options INTERFACE /WX)
  endif()
else()
  target_compile_options(zel_options INTERFACE -Wall -Wextra -Wpedantic $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    # g++ 12 reports -Wrestrict false positives inside libstdc++'s string concatenation at
    # -O3 (GCC bug 105329); the warning stays on for other compilers.
    target_compile_options(zel_options INTERFACE -Wno-restrict)
  endif()
  if(ZEL_WERROR)
    target_compile_options(zel_options INTERFACE -Werror)
  endif()
  if(ZEL_COVERAGE)
    target_compile_options(zel_options INTERFACE --coverage)
    target_link_options(zel_options INTERFACE --coverage)
  endif()
  if(ZEL_SANITIZE)
    target_compile_options(zel_options INTERFACE -fsanitize=address,undefined
                           -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(zel_options INTERFACE -fsanitize=address,undefined)
  endif()
endif()

# zel_glob_sources(<out-var> <dir>...): every .cpp below the given folders.
function(zel_glob_sources out)
  set(all)
  foreach(dir IN LISTS ARGN)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${dir}/*.cpp)
    list(APPEND all ${found})
  endforeach()
  set(${out} ${all} PARENT_SCOPE)
endfunction()

# zel_framework_library(<name> <folder> DEPENDS <libs>...): one shared library per
# framework folder. On Windows every symbol is exported, as the closed framework
# libraries it stands in for export their whole interface. zel_options (the source tree
# as include folder, warnings) applies inside this build only; installed targets get the
# installed include folder instead (cmake/ZelInstall.cmake).
function(zel_framework_library name folder)
  cmake_parse_arguments(ARG "" "" "DEPENDS;LINK" ${ARGN})
  zel_glob_sources(srcs framework/${folder})
  if(NOT srcs)
    # Header-only so far: keep the target so that dependents link.
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE $<BUILD_INTERFACE:zel_options> ${ARG_DEPENDS} ${ARG_LINK})
    return()
  endif()
  add_library(${name} SHARED ${srcs})
  set_target_properties(${name} PROPERTIES WINDOWS_EXPORT_ALL_SYMBOLS ON)
  target_link_libraries(${name} PUBLIC $<BUILD_INTERFACE:zel_options> ${ARG_DEPENDS} PRIVATE ${ARG_LINK})
endfunction()
