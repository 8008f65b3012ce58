# Every target links qb_common: one place for the language level and warnings.
add_library(qb_common INTERFACE)
target_compile_features(qb_common INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
target_compile_options(qb_common INTERFACE
  -Wall -Wextra -Wpedantic -Wnon-virtual-dtor -Woverloaded-virtual -Wshadow)
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()

# Test code (tests/ sets QB_TEST_CODE for its folder) builds without optimisation, debug information or
# sanitizer instrumentation, in a third of the time; the code under test keeps the build's own flags.
define_property(TARGET PROPERTY QB_TEST_CODE INHERITED
  BRIEF_DOCS "Test code, built quickly" FULL_DOCS "Test code, built quickly; the code under test is not.")
set(qb_test_code "$<BOOL:$<TARGET_PROPERTY:QB_TEST_CODE>>")
if(NOT QB_SANITIZE_THREAD)
  target_compile_options(qb_common INTERFACE "$<${qb_test_code}:-O0;-g0>")
endif()

# The sanitizer build of the tests (build-asan/, see scripts/test.sh): any
# finding, or a leak at exit, fails the test process. -O1 and line tables only
# (-g1) build in two thirds of the time of -O2 -g, and the reports keep their
# file:line.
option(QB_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(QB_SANITIZE)
  set(qb_sanitizers -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_compile_options(qb_common INTERFACE "$<$<NOT:${qb_test_code}>:${qb_sanitizers};-O1;-g1>")
  target_link_options(qb_common INTERFACE ${qb_sanitizers})
  # What the tests ask of a sanitized build, their own code being built without.
  target_compile_definitions(qb_common INTERFACE QB_SANITIZED)
  # The SQLite driver loads libodbcinst for each connection and unloads it on
  # disconnect, dropping the library's ini cache; the leak report then cannot
  # even name the library. Holding it loaded keeps that cache reachable.
  find_library(QB_ODBCINST_LIBRARY odbcinst REQUIRED)
  target_link_libraries(qb_common INTERFACE
    "-Wl,--push-state,--no-as-needed" ${QB_ODBCINST_LIBRARY} "-Wl,--pop-state")
endif()

# The thread-checked build of the runs with several jobs (build-tsan/, see scripts/thread-check.sh).
option(QB_SANITIZE_THREAD "Build with ThreadSanitizer" OFF)
if(QB_SANITIZE_THREAD)
  target_compile_options(qb_common INTERFACE -fsanitize=thread -O1 -g1)
  target_link_options(qb_common INTERFACE -fsanitize=thread)
endif()

# Debian's hardening for the build that is used and packaged: stack
# protector, fortified libc calls (they need optimisation), read-only
# relocations bound at start, position-independent programs. The sanitizer
# and fuzz builds go without: the fortified calls bypass the sanitizers'
# interceptors.
option(QB_HARDEN "Build with Debian's hardening flags" ON)
if(QB_HARDEN AND NOT QB_SANITIZE AND NOT QB_SANITIZE_THREAD AND NOT QB_BUILD_FUZZ)
  target_compile_options(qb_common INTERFACE -fstack-protector-strong
    "$<$<AND:$<NOT:$<CONFIG:Debug>>,$<NOT:${qb_test_code}>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
  target_link_options(qb_common INTERFACE LINKER:-z,relro,-z,now)
  include(CheckPIESupported)
  check_pie_supported()
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
endif()
