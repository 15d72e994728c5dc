# exp_add_test(NAME name LABEL layer SOURCES ... LIBS ... [MAIN CORE|UI | OWN_MAIN] [SERIAL] [PREFIX p]
#              [DATABASES SQLITE POSTGRES] [SCALES factor...] [APART source...])
#
# MAIN: the main() the program runs under: CORE a QCoreApplication (event
# loops, sockets), UI a QApplication with the application object
# (tests/support/UiTestMain.cpp); without it, GoogleTest's own. Each is
# compiled once for every test program. OWN_MAIN: the sources bring their
# own main(). PREFIX goes before each case's CTest
# name. SERIAL: no other test runs beside these cases (they disturb what
# others share).
#
# DATABASES, for tests that start application servers: SQLITE (the default)
# registers the cases as above; POSTGRES registers them labelled pg and named
# pg.<case>, with EXP_SERVER_TESTS_ON_POSTGRES=1 in their environment, under
# which every server they start uses a database of the throwaway PostgreSQL
# cluster (tests/support/AppServerProcess.h). Both: one program, its cases
# run on each database.
#
# SCALES: the cases are registered once per display scale factor, named
# scale<factor>.<case>, with QT_SCALE_FACTOR=<factor> in their environment.
#
# The sources are compiled a few at a time, as one file each batch (a unity
# build): most of a test file's compile time goes into the same inline
# functions of Qt and GoogleTest, which a batch compiles once. APART names
# sources that must be compiled alone, as they define a helper of the same
# name as another file of the program does.
#
# One GoogleTest executable per call. Every discovered case carries the layer's
# CTest label (so `ctest -L data` runs one layer) and runs on Qt's offscreen
# platform, so no test needs a display.
function(exp_add_test)
  cmake_parse_arguments(T "SERIAL;OWN_MAIN" "NAME;LABEL;PREFIX;MAIN" "SOURCES;LIBS;DATABASES;SCALES;APART" ${ARGN})
  if(NOT T_DATABASES)
    set(T_DATABASES SQLITE)
  endif()
  add_executable(${T_NAME} ${T_SOURCES} ${T_APART})
  set_target_properties(${T_NAME} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 6)
  set_source_files_properties(${T_APART} PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
  exp_warnings(${T_NAME})
  # GCC warns of a test class deriving from a fixture in an anonymous
  # namespace unless the fixture's file is the one compiled; in a batch it
  # never is.
  target_compile_options(${T_NAME} PRIVATE -Wno-subobject-linkage)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest)
  if(T_MAIN STREQUAL "CORE")
    target_link_libraries(${T_NAME} PRIVATE exp_test_main_core)
  elseif(T_MAIN STREQUAL "UI")
    target_link_libraries(${T_NAME} PRIVATE exp_test_main_ui)
  elseif(T_MAIN)
    message(FATAL_ERROR "exp_add_test(${T_NAME}): MAIN is CORE or UI, not ${T_MAIN}")
  elseif(NOT T_OWN_MAIN)
    target_link_libraries(${T_NAME} PRIVATE GTest::gtest_main)
  endif()
  # The printers for Qt values come with the precompiled header, or are
  # included first where there is none (cmake/Precompiled.cmake).
  set_property(GLOBAL APPEND PROPERTY EXP_TEST_TARGETS ${T_NAME})
  if(T_SCALES)
    foreach(factor IN LISTS T_SCALES)
      _exp_discover(${T_NAME} "${T_LABEL}" "scale${factor}.${T_PREFIX}" "${T_SERIAL}"
                    ENVIRONMENT_MODIFICATION QT_SCALE_FACTOR=set:${factor})
    endforeach()
  elseif(SQLITE IN_LIST T_DATABASES)
    _exp_discover(${T_NAME} "${T_LABEL}" "${T_PREFIX}" "${T_SERIAL}")
  endif()
  if(POSTGRES IN_LIST T_DATABASES)
    _exp_discover(${T_NAME} pg "pg.${T_PREFIX}" "${T_SERIAL}"
                  ENVIRONMENT_MODIFICATION EXP_SERVER_TESTS_ON_POSTGRES=set:1)
  endif()
endfunction()

# Registers the cases of `target`; further arguments are more test properties.
function(_exp_discover target label prefix serial)
  if(NOT serial)
    set(serial OFF)
  endif()
  gtest_discover_tests(${target}
    TEST_PREFIX "${prefix}"
    PROPERTIES LABELS ${label}
               ENVIRONMENT QT_QPA_PLATFORM=offscreen
               RUN_SERIAL ${serial}
               ${ARGN}
    DISCOVERY_TIMEOUT 60
    NO_PRETTY_VALUES)
endfunction()
