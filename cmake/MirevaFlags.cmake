# Flags shared by every target of the project.
#   mireva_flags: warnings, the Shift_JIS execution character set and the sanitizers.
#   Link it PRIVATE into each target (mireva_add_* below do so).
add_library(mireva_flags INTERFACE)
target_compile_options(mireva_flags INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow
  # Sources are UTF-8; every narrow literal becomes Shift_JIS (code page 932),
  # the encoding of all text inside the system.
  $<$<COMPILE_LANGUAGE:CXX>:-finput-charset=UTF-8 -fexec-charset=CP932>
  $<$<COMPILE_LANGUAGE:C>:-finput-charset=UTF-8 -fexec-charset=CP932>)
# The program's version, from the project's, for the About box and --version.
target_compile_definitions(mireva_flags INTERFACE MIREVA_VERSION="${PROJECT_VERSION}")
if(MIREVA_WERROR)
  target_compile_options(mireva_flags INTERFACE -Werror)
endif()
if(MIREVA_SANITIZE STREQUAL "thread")
  # Every target of the project is instrumented, also the libraries the
  # program loads by name; the system's libraries are not (tests/tsan.supp).
  target_compile_options(mireva_flags INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(mireva_flags INTERFACE -fsanitize=thread)
elseif(MIREVA_SANITIZE)
  target_compile_options(mireva_flags INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(mireva_flags INTERFACE -fsanitize=address,undefined)
endif()

# Shared libraries export only what their header marks with MIREVA_EXPORT.
function(mireva_shared_library name output_name)
  add_library(${name} SHARED ${ARGN})
  set_target_properties(${name} PROPERTIES
    OUTPUT_NAME ${output_name}
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_link_libraries(${name} PRIVATE mireva_flags)
endfunction()

# One layout rule for every area: <area>/ builds the logic library
# mireva_<area>, which links no wx, and <area>/wx/ builds mireva_<area>_wx.
function(mireva_logic_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE mireva_flags)
  set_property(GLOBAL APPEND PROPERTY MIREVA_LOGIC_LIBRARIES ${name})
endfunction()

function(mireva_wx_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE mireva_flags PUBLIC mireva_wx)
endfunction()

# Run once the whole project is configured: fails when a logic library links
# wx, GTK or WebKit, directly or through anything it links.
function(mireva_check_logic_libraries)
  get_property(logic GLOBAL PROPERTY MIREVA_LOGIC_LIBRARIES)
  foreach(lib ${logic})
    set(seen "")
    set(todo ${lib})
    while(todo)
      list(POP_FRONT todo item)
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" item "${item}")
      if(item IN_LIST seen)
        continue()
      endif()
      list(APPEND seen ${item})
      string(TOLOWER "${item}" lower)
      if(lower MATCHES "mireva_wx|wx_|wxwidgets|webkit|gtk")
        message(FATAL_ERROR "${lib} holds logic and must not link ${item}")
      endif()
      if(TARGET ${item})
        foreach(prop LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
          get_target_property(deps ${item} ${prop})
          if(deps)
            list(APPEND todo ${deps})
          endif()
        endforeach()
      endif()
    endwhile()
  endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL mireva_check_logic_libraries)

# The environment of every GoogleTest program.  NO_AT_BRIDGE: a toolkit test
# without a session bus would otherwise autolaunch one (and an accessibility bus)
# bound to the test display, which the GUI tests on that display then meet.
set(MIREVA_TEST_ENVIRONMENT
  "MIREVA_TEST_SOURCE_DIR=${CMAKE_SOURCE_DIR};MIREVA_TEST_BIN_DIR=${CMAKE_BINARY_DIR}/bin;NO_AT_BRIDGE=1")
# Under ThreadSanitizer a report fails the test (exit status 66); races inside
# system libraries that the project cannot fix are named in tests/tsan.supp.
if(MIREVA_SANITIZE STREQUAL "thread")
  list(APPEND MIREVA_TEST_ENVIRONMENT
       "TSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/tsan.supp:second_deadlock_stack=1")
endif()

# A GoogleTest program, registered with CTest.  Extra arguments are sources.
function(mireva_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE mireva_flags GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "${MIREVA_TEST_ENVIRONMENT}")
endfunction()

# mireva_wx: wxWidgets (with wxWebView) and WebKitGTK for GUI targets.
# Created after find_package(wxWidgets) by mireva_define_wx_target().
function(mireva_define_wx_target)
  add_library(mireva_wx INTERFACE)
  target_include_directories(mireva_wx SYSTEM INTERFACE ${wxWidgets_INCLUDE_DIRS})
  target_compile_definitions(mireva_wx INTERFACE ${wxWidgets_DEFINITIONS})
  target_compile_options(mireva_wx INTERFACE ${wxWidgets_CXX_FLAGS})
  target_link_libraries(mireva_wx INTERFACE ${wxWidgets_LIBRARIES}
    PkgConfig::WEBKIT PkgConfig::GTK3)
endfunction()
